#pragma once
// Shared pieces of the telephony tests: waiting while the event loop runs,
// free ports, private settings and lock folders, the peer process and the
// modem emulator.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace vandrex::test {

// Serves the event loop until pred holds or ms pass; returns pred().
bool WaitUntil(const std::function<bool()>& pred, int ms = 10000);
// Serves the event loop for ms.
void Serve(int ms);
// A TCP port on loopback that nobody listens on right now.
int FreePort();

// A private folder for settings and lock files, set in this process's
// environment for as long as it lives; the line layer's environment
// (VANDREX_NETWORK_LINE, VANDREX_MODEMS) is set by the caller.
class TLineEnvironment {
public:
    TLineEnvironment();
    ~TLineEnvironment();
    QString Path(const QString& name) const { return dir_.filePath(name); }
    // Network line on loopback at port, or "off"; modem paths.
    void Set(const QString& networkLine, const QStringList& modems);

private:
    QTemporaryDir dir_;
};

// A process whose output lines are collected.
class TProcess {
public:
    TProcess(const QString& program, const QStringList& arguments,
             const QStringList& environment = {});
    ~TProcess();
    void Send(const QString& line);
    // Waits for the next unread line starting with prefix; empty when none.
    QString WaitFor(const QString& prefix, int ms = 10000);
    // True when a line starting with prefix arrives within ms (unread lines only).
    bool Sees(const QString& prefix, int ms);
    const QStringList& Lines() const { return lines_; }
    QProcess& Process() { return process_; }
    void Stop();

private:
    void ReadAvailable();
    QProcess process_;
    QStringList lines_;
    QByteArray partial_;
    int next_ = 0;
};

// vandrex-modem on a link in folder, optionally listening on port.
class TModemEmulator {
public:
    TModemEmulator(const QString& link, int listenPort, const QStringList& extra = {});
    ~TModemEmulator();
    const QString& Link() const { return link_; }
    int Port() const { return port_; }
    QProcess& Process() { return process_; }

private:
    QString link_;
    int port_;
    QProcess process_;
};

QString PeerProgram();
QString ModemProgram();

}  // namespace vandrex::test
