#include "platform/telephony/linesettings.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>
#include <memory>

namespace vandrex {

namespace {

std::unique_ptr<QSettings> Store() {
    const QString file = qEnvironmentVariable("VANDREX_LINE_SETTINGS");
    if (!file.isEmpty()) return std::make_unique<QSettings>(file, QSettings::IniFormat);
    return std::make_unique<QSettings>(QStringLiteral("Vandrex"), QStringLiteral("Telephony"));
}

QString PortKey(const QString& port) {
    QString key = port;
    key.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("Modem_") + key;
}

}  // namespace

bool ParseNetworkAddress(const QString& text, int defaultPort, QString* host, int* port) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return false;
    bool phoneNumber = true;
    for (QChar c : t) {
        if (!(c.isDigit() || c == QLatin1Char(' ') || c == QLatin1Char('+') ||
              c == QLatin1Char('-') || c == QLatin1Char('(') || c == QLatin1Char(')'))) {
            phoneNumber = false;
            break;
        }
    }
    if (phoneNumber) return false;
    QString h = t;
    int p = defaultPort;
    if (t.startsWith(QLatin1Char('['))) {  // [IPv6]:port
        const int close = t.indexOf(QLatin1Char(']'));
        if (close < 0) return false;
        h = t.mid(1, close - 1);
        const QString rest = t.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':'))) return false;
            bool ok = false;
            p = rest.mid(1).toInt(&ok);
            if (!ok) return false;
        }
    } else if (t.count(QLatin1Char(':')) == 1) {
        const int colon = t.indexOf(QLatin1Char(':'));
        h = t.left(colon);
        bool ok = false;
        p = t.mid(colon + 1).toInt(&ok);
        if (!ok) return false;
    }
    if (h.isEmpty() || h.contains(QLatin1Char(' ')) || p <= 0 || p > 65535) return false;
    *host = h;
    *port = p;
    return true;
}

TNetworkLineSettings NetworkLineSettings() {
    TNetworkLineSettings s;
    auto store = Store();
    s.address = store->value(QStringLiteral("NetworkLine/Address"), s.address).toString();
    s.port = store->value(QStringLiteral("NetworkLine/Port"), s.port).toInt();
    if (qEnvironmentVariableIsSet("VANDREX_NETWORK_LINE")) {
        const QString v = qEnvironmentVariable("VANDREX_NETWORK_LINE").trimmed();
        if (v.compare(QStringLiteral("off"), Qt::CaseInsensitive) == 0) {
            s.enabled = false;
        } else {
            const int colon = v.lastIndexOf(QLatin1Char(':'));
            bool ok = false;
            const int port = v.mid(colon + 1).toInt(&ok);
            if (ok && port >= 0 && port <= 65535) {
                s.port = port;
                if (colon > 0) s.address = v.left(colon);
            }
        }
    }
    return s;
}

void SaveNetworkLineSettings(const TNetworkLineSettings& settings) {
    auto store = Store();
    store->setValue(QStringLiteral("NetworkLine/Address"), settings.address);
    store->setValue(QStringLiteral("NetworkLine/Port"), settings.port);
}

TModemSettings ModemSettings(const QString& port) {
    TModemSettings s;
    auto store = Store();
    const QString key = PortKey(port);
    s.speed = store->value(key + QStringLiteral("/Speed"), s.speed).toInt();
    s.initString = store->value(key + QStringLiteral("/Init"), s.initString).toString();
    return s;
}

void SaveModemSettings(const QString& port, const TModemSettings& settings) {
    auto store = Store();
    const QString key = PortKey(port);
    store->setValue(key + QStringLiteral("/Speed"), settings.speed);
    store->setValue(key + QStringLiteral("/Init"), settings.initString);
}

TDialingSettings DialingSettings() {
    TDialingSettings s;
    auto store = Store();
    s.outsideLinePrefix = store->value(QStringLiteral("Dialing/OutsideLine")).toString();
    s.pulse = store->value(QStringLiteral("Dialing/Pulse"), false).toBool();
    return s;
}

void SaveDialingSettings(const TDialingSettings& settings) {
    auto store = Store();
    store->setValue(QStringLiteral("Dialing/OutsideLine"), settings.outsideLinePrefix);
    store->setValue(QStringLiteral("Dialing/Pulse"), settings.pulse);
}

bool RunLineDialog(QDialog& dialog) {
    if (qEnvironmentVariable("VANDREX_LINE_DIALOGS") == QStringLiteral("accept")) {
        dialog.accept();
        return true;
    }
    return dialog.exec() == QDialog::Accepted;
}

namespace {
QDialogButtonBox* Buttons(QDialog* d) {
    auto* b = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, d);
    QObject::connect(b, &QDialogButtonBox::accepted, d, &QDialog::accept);
    QObject::connect(b, &QDialogButtonBox::rejected, d, &QDialog::reject);
    return b;
}
}  // namespace

TNetworkLineDialog::TNetworkLineDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("NetworkLineDialog"));
    setWindowTitle(QStringLiteral("Network line"));
    const TNetworkLineSettings s = NetworkLineSettings();
    address_ = new QLineEdit(s.address, this);
    address_->setObjectName(QStringLiteral("Address"));
    port_ = new QSpinBox(this);
    port_->setObjectName(QStringLiteral("Port"));
    port_->setRange(0, 65535);
    port_->setValue(s.port);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Listen on address:"), address_);
    form->addRow(QStringLiteral("Port:"), port_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(Buttons(this));
}

void TNetworkLineDialog::Store() const {
    TNetworkLineSettings s = NetworkLineSettings();
    s.address = address_->text().trimmed();
    s.port = port_->value();
    SaveNetworkLineSettings(s);
}

TModemConfigDialog::TModemConfigDialog(const QString& port, QWidget* parent)
    : QDialog(parent), port_(port) {
    setObjectName(QStringLiteral("ModemConfigDialog"));
    setWindowTitle(port + QStringLiteral(" Properties"));
    const TModemSettings s = ModemSettings(port);
    speed_ = new QComboBox(this);
    speed_->setObjectName(QStringLiteral("Speed"));
    for (int rate : {2400, 9600, 19200, 38400, 57600, 115200, 230400})
        speed_->addItem(QString::number(rate), rate);
    speed_->setCurrentIndex(std::max(0, speed_->findData(s.speed)));
    init_ = new QLineEdit(s.initString, this);
    init_->setObjectName(QStringLiteral("Init"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Maximum speed:"), speed_);
    form->addRow(QStringLiteral("Extra initialization commands:"), init_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(Buttons(this));
}

void TModemConfigDialog::Store() const {
    SaveModemSettings(port_, {speed_->currentData().toInt(), init_->text().trimmed()});
}

TTranslateDialog::TTranslateDialog(const QString& number, QWidget* parent)
    : QDialog(parent), number_(number) {
    setObjectName(QStringLiteral("TranslateDialog"));
    setWindowTitle(QStringLiteral("Dialing Properties"));
    const TDialingSettings s = DialingSettings();
    prefix_ = new QLineEdit(s.outsideLinePrefix, this);
    prefix_->setObjectName(QStringLiteral("OutsideLine"));
    tone_ = new QRadioButton(QStringLiteral("Tone dial"), this);
    tone_->setObjectName(QStringLiteral("Tone"));
    pulse_ = new QRadioButton(QStringLiteral("Pulse dial"), this);
    pulse_->setObjectName(QStringLiteral("Pulse"));
    (s.pulse ? pulse_ : tone_)->setChecked(true);
    auto* dialled = new QLabel(this);
    dialled->setObjectName(QStringLiteral("Dialled"));
    auto update = [this, dialled] { dialled->setText(DialledText()); };
    connect(prefix_, &QLineEdit::textChanged, this, update);
    connect(pulse_, &QRadioButton::toggled, this, update);
    update();
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("To access an outside line, first dial:"), prefix_);
    form->addRow(tone_, pulse_);
    form->addRow(QStringLiteral("Number to dial:"), dialled);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(Buttons(this));
}

QString TTranslateDialog::DialledText() const {
    return (pulse_->isChecked() ? QStringLiteral("P") : QStringLiteral("T")) +
           prefix_->text().trimmed() + number_;
}

void TTranslateDialog::Store() const {
    SaveDialingSettings({prefix_->text().trimmed(), pulse_->isChecked()});
}

}  // namespace vandrex
