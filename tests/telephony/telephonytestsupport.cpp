#include "tests/telephony/telephonytestsupport.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <set>

namespace vandrex::test {

bool WaitUntil(const std::function<bool()>& pred, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > ms) return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

void Serve(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

int AnyFreePort();

int FreePort() {
    // A port handed out once is not handed out again: two listeners asked
    // for in a row must not get the same one.
    static std::set<int> given;
    for (;;) {
        const int port = AnyFreePort();
        if (given.insert(port).second) return port;
    }
}

int AnyFreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

TLineEnvironment::TLineEnvironment() {
    qputenv("VANDREX_LINE_SETTINGS", dir_.filePath("line.ini").toLocal8Bit());
    qputenv("VANDREX_LOCK_DIR", dir_.path().toLocal8Bit());
    qputenv("VANDREX_LINE_DIALOGS", "accept");
}

TLineEnvironment::~TLineEnvironment() {
    qunsetenv("VANDREX_LINE_SETTINGS");
    qunsetenv("VANDREX_LOCK_DIR");
    qunsetenv("VANDREX_NETWORK_LINE");
    qunsetenv("VANDREX_MODEMS");
    qunsetenv("VANDREX_LINE_DIALOGS");
}

void TLineEnvironment::Set(const QString& networkLine, const QStringList& modems) {
    qputenv("VANDREX_NETWORK_LINE", networkLine.toLocal8Bit());
    qputenv("VANDREX_MODEMS", modems.join(':').toLocal8Bit());
}

TProcess::TProcess(const QString& program, const QStringList& arguments,
                   const QStringList& environment) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& kv : environment) env.insert(kv.section('=', 0, 0), kv.section('=', 1));
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { ReadAvailable(); });
    process_.start(program, arguments);
    process_.waitForStarted(5000);
}

TProcess::~TProcess() { Stop(); }

void TProcess::Stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

void TProcess::ReadAvailable() {
    partial_ += process_.readAllStandardOutput();
    int end;
    while ((end = partial_.indexOf('\n')) >= 0) {
        lines_ << QString::fromUtf8(partial_.left(end));
        partial_.remove(0, end + 1);
    }
}

void TProcess::Send(const QString& line) {
    process_.write((line + '\n').toUtf8());
    process_.waitForBytesWritten(1000);
}

QString TProcess::WaitFor(const QString& prefix, int ms) {
    QString found;
    WaitUntil(
        [&] {
            ReadAvailable();
            for (; next_ < lines_.size(); ++next_) {
                if (lines_[next_].startsWith(prefix)) {
                    found = lines_[next_++];
                    return true;
                }
            }
            return false;
        },
        ms);
    return found;
}

bool TProcess::Sees(const QString& prefix, int ms) { return !WaitFor(prefix, ms).isNull(); }

TModemEmulator::TModemEmulator(const QString& link, int listenPort, const QStringList& extra)
    : link_(link), port_(listenPort) {
    QStringList args{link};
    if (listenPort > 0) args << "--listen" << QStringLiteral("127.0.0.1:%1").arg(listenPort);
    args << extra;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(ModemProgram(), args);
    process_.waitForStarted(5000);
    process_.waitForReadyRead(5000);  // "ready"
    WaitUntil([&] { return QFileInfo::exists(link); }, 5000);
}

TModemEmulator::~TModemEmulator() {
    process_.terminate();
    if (!process_.waitForFinished(3000)) process_.kill();
    process_.waitForFinished(3000);
}

QString PeerProgram() { return QStringLiteral(LINE_TEST_PEER); }
QString ModemProgram() { return QStringLiteral(VANDREX_MODEM_EXE); }

}  // namespace vandrex::test

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
