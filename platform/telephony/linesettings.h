#pragma once
// The settings the line layer keeps per user (QSettings "Vandrex/Telephony",
// or the ini file named by VANDREX_LINE_SETTINGS): the network line's address
// and port, each modem's speed and init string, and the dialling location
// (outside-line prefix, tone or pulse). The configuration and dialling
// dialogs edit them.

#include <QDialog>
#include <QString>

class QComboBox;
class QLineEdit;
class QSpinBox;
class QCheckBox;
class QRadioButton;

namespace vandrex {

struct TNetworkLineSettings {
    bool enabled = true;
    QString address = QStringLiteral("127.0.0.1");  // where it listens
    int port = 7441;
};
// The stored settings, overridden by VANDREX_NETWORK_LINE = off | PORT | ADDR:PORT.
TNetworkLineSettings NetworkLineSettings();
void SaveNetworkLineSettings(const TNetworkLineSettings& settings);

struct TModemSettings {
    int speed = 115200;
    QString initString = QStringLiteral("ATE0V1");
};
TModemSettings ModemSettings(const QString& port);
void SaveModemSettings(const QString& port, const TModemSettings& settings);

struct TDialingSettings {
    QString outsideLinePrefix;
    bool pulse = false;
};
TDialingSettings DialingSettings();
void SaveDialingSettings(const TDialingSettings& settings);

// "host[:port]" parsed for the network line; false for text that is not an
// address (only digits, blanks and "+-()", or empty, or a bad port).
bool ParseNetworkAddress(const QString& text, int defaultPort, QString* host, int* port);

// The network line's configuration: listening address and port.
class TNetworkLineDialog : public QDialog {
    Q_OBJECT
public:
    explicit TNetworkLineDialog(QWidget* parent = nullptr);
    QLineEdit* AddressEdit() const { return address_; }
    QSpinBox* PortEdit() const { return port_; }
    // Stores what the dialog shows.
    void Store() const;

private:
    QLineEdit* address_;
    QSpinBox* port_;
};

// A modem's configuration: speed and init string.
class TModemConfigDialog : public QDialog {
    Q_OBJECT
public:
    TModemConfigDialog(const QString& port, QWidget* parent = nullptr);
    QComboBox* SpeedBox() const { return speed_; }
    QLineEdit* InitEdit() const { return init_; }
    void Store() const;

private:
    QString port_;
    QComboBox* speed_;
    QLineEdit* init_;
};

// The dialling location: outside-line prefix and tone or pulse dialling, with
// the number as it will be dialled.
class TTranslateDialog : public QDialog {
    Q_OBJECT
public:
    TTranslateDialog(const QString& number, QWidget* parent = nullptr);
    QLineEdit* PrefixEdit() const { return prefix_; }
    QRadioButton* PulseButton() const { return pulse_; }
    QString DialledText() const;
    void Store() const;

private:
    QString number_;
    QLineEdit* prefix_;
    QRadioButton* tone_;
    QRadioButton* pulse_;
};

// Runs a dialog modally unless VANDREX_LINE_DIALOGS=accept (headless runs
// and tests), where it is accepted as shown. True when accepted.
bool RunLineDialog(QDialog& dialog);

}  // namespace vandrex
