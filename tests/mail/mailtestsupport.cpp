#include "tests/mail/mailtestsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QThread>
#include <gtest/gtest.h>

namespace vandrex::test {

namespace {

class MailEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "mail_tests";
        static char* argv[] = {name, nullptr};
        home_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/mailhomeXXXXXX");
        qputenv("HOME", home_->path().toLocal8Bit());
        qputenv("VANDREX_MAIL_CA_FILE", TestCaFile().toLocal8Bit());
        // A window test brings its own application object.
        if (!QCoreApplication::instance())
            app_ = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }
    static QString home() { return home_->path(); }
private:
    static inline std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<QCoreApplication> app_;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new MailEnvironment);

}  // namespace

QString MailTestDir() { return QStringLiteral(VANDREX_MAIL_TEST_DIR); }
QString TestCaFile() { return MailTestDir() + "/tls/ca.pem"; }
QString TestHome() { return MailEnvironment::home(); }

void WriteNetrc(const QString& text) {
    QFile f(TestHome() + "/.netrc");
    if (text.isNull()) {
        f.remove();
        return;
    }
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toUtf8());
}

bool WaitUntil(const std::function<bool()>& pred, int ms) {
    QDeadlineTimer deadline(ms);
    while (!pred()) {
        if (deadline.hasExpired())
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

void Pump(int ms) {
    WaitUntil([] { return false; }, ms);
}

TServerProcess::TServerProcess(const QString& script, const QStringList& arguments)
    : folder_(QDir::tempPath() + "/mailsrvXXXXXX") {
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    process_.start(QStringLiteral("/usr/bin/python3"),
                   QStringList{MailTestDir() + "/" + script, folder_.path()} + arguments);
    if (!process_.waitForStarted(10000)) {
        ADD_FAILURE() << "cannot start " << script.toStdString();
        return;
    }
    QDeadlineTimer deadline(30000);
    QByteArray out;
    while (!out.contains('\n') && !deadline.hasExpired() && process_.state() == QProcess::Running) {
        process_.waitForReadyRead(200);
        out += process_.readAllStandardOutput();
    }
    if (out.startsWith("PORT "))
        port_ = out.mid(5).trimmed().toInt();
    if (port_ == 0)
        ADD_FAILURE() << script.toStdString() << " did not start: " << process_.readAllStandardError().toStdString();
}

TServerProcess::~TServerProcess() {
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

TSmtpServer::TSmtpServer(const QStringList& options) : TServerProcess("smtp_server.py", options) {}

int TSmtpServer::count() const {
    return int(QDir(folder()).entryList({"*.eml"}, QDir::Files).size());
}

QByteArray TSmtpServer::raw(int n) const {
    QFile f(folder() + "/" + QString::number(n) + ".eml");
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QJsonObject TSmtpServer::envelope(int n) const {
    QFile f(folder() + "/" + QString::number(n) + ".json");
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
}

TFtpServer::TFtpServer(const QStringList& options) : TServerProcess("ftp_server.py", options) {}

QByteArray TFtpServer::file(const QString& name) const {
    QFile f(root() + "/" + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray WriteRandomFile(const QString& path, qint64 n, quint32 seed) {
    QByteArray bytes(n, Qt::Uninitialized);
    quint32 x = seed ? seed : 1;
    for (qint64 i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = char(x);
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != n)
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return bytes;
}

QJsonObject ParseMail(const QByteArray& raw) {
    QTemporaryDir dir;
    QFile f(dir.path() + "/mail.eml");
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write(raw);
    f.close();
    QProcess p;
    p.start("/usr/bin/python3", {MailTestDir() + "/parse_mail.py", f.fileName()});
    p.waitForFinished(30000);
    const QByteArray out = p.readAllStandardOutput();
    if (out.isEmpty())
        ADD_FAILURE() << "parse_mail.py: " << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(out).object();
}

}  // namespace vandrex::test
