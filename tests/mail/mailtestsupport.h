#pragma once
// Loopback servers for the mail tests (aiosmtpd, pyftpdlib) started and
// stopped per test, a wait that runs the event loop, and received mails
// parsed by Python's email package.

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

namespace vandrex::test {

// The folder of the test scripts and the committed test authority.
QString MailTestDir();
QString TestCaFile();
// The HOME of this test run (a private folder, for ~/.netrc).
QString TestHome();
void WriteNetrc(const QString& text);

// Runs the event loop until pred holds or ms pass; returns pred().
bool WaitUntil(const std::function<bool()>& pred, int ms = 10000);
// Runs the event loop for ms.
void Pump(int ms);

// A Python server script on 127.0.0.1; it prints "PORT n" when listening
// and ends when its standard input closes.
class TServerProcess {
public:
    TServerProcess(const QString& script, const QStringList& arguments);
    ~TServerProcess();
    int port() const { return port_; }
    QString folder() const { return folder_.path(); }
private:
    QProcess process_;
    QTemporaryDir folder_;
    int port_ = 0;
};

struct TSmtpServer : TServerProcess {
    explicit TSmtpServer(const QStringList& options = {});
    // Number of stored messages, and the n-th (1-based) raw bytes and envelope.
    int count() const;
    QByteArray raw(int n) const;
    QJsonObject envelope(int n) const;
};

struct TFtpServer : TServerProcess {
    explicit TFtpServer(const QStringList& options);
    // The folder the server stores uploads in.
    QString root() const { return folder() + "/root"; }
    QByteArray file(const QString& name) const;
};

// Writes a file of n pseudo-random bytes (seeded) and returns its bytes.
QByteArray WriteRandomFile(const QString& path, qint64 n, quint32 seed);

// The stored mail as Python's email package sees it.
QJsonObject ParseMail(const QByteArray& raw);

}  // namespace vandrex::test
