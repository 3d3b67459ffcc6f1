#include "tests/telephony/telephonytestsupport.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>
#include <sys/socket.h>
#include <unistd.h>

extern char** environ;

#include <set>

namespace vandrex::test {

// Another suite that borrows these pieces (the main window's) brings its own
// main and the mail tests' WaitUntil, which does the same.
#ifndef VANDREX_TELEPHONY_SUPPORT_BORROWED
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
#endif

void Serve(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
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

TSpawn::~TSpawn() { kill(); }

void TSpawn::start(const QString& program, const QStringList& arguments,
                   const QStringList& environment, bool piped) {
    std::vector<QByteArray> args{program.toLocal8Bit()};
    for (const QString& a : arguments) args.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> envs;
    QStringList names;
    for (const QString& kv : environment) names << kv.section('=', 0, 0);
    for (char** e = environ; *e; ++e) {
        const QString entry = QString::fromLocal8Bit(*e);
        if (!names.contains(entry.section('=', 0, 0))) envs.push_back(*e);
    }
    for (const QString& kv : environment) envs.push_back(kv.toLocal8Bit());
    std::vector<char*> envp;
    for (QByteArray& e : envs) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int inPipe[2] = {-1, -1}, outPipe[2] = {-1, -1};
    if (piped) {
        ::pipe2(inPipe, O_CLOEXEC);
        ::pipe2(outPipe, O_CLOEXEC);
        posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    }
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
    if (piped) {
        ::close(inPipe[0]);
        ::close(outPipe[1]);
        in_ = inPipe[1];
        out_ = outPipe[0];
        ::fcntl(out_, F_SETFL, O_NONBLOCK);
    }
}

bool TSpawn::Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == 0) return true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid_ = -1;
    return false;
}

bool TSpawn::waitForFinished(int ms) {
    return WaitUntil([&] { return !Running(); }, ms);
}

void TSpawn::terminate() {
    if (pid_ > 0) ::kill(pid_, SIGTERM);
}

void TSpawn::kill() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        if (!waitForFinished(3000)) {
            ::kill(pid_, SIGKILL);
            waitForFinished(3000);
        }
    }
    if (in_ >= 0) ::close(in_);
    if (out_ >= 0) ::close(out_);
    in_ = out_ = -1;
}

TProcess::TProcess(const QString& program, const QStringList& arguments,
                   const QStringList& environment) {
    process_.start(program, arguments, environment, true);
}

TProcess::~TProcess() { Stop(); }

void TProcess::Stop() { process_.kill(); }

void TProcess::ReadAvailable() {
    char buf[65536];
    ssize_t n;
    while (process_.Out() >= 0 && (n = ::read(process_.Out(), buf, sizeof buf)) > 0)
        partial_.append(buf, static_cast<int>(n));
    int end;
    while ((end = partial_.indexOf('\n')) >= 0) {
        lines_ << QString::fromUtf8(partial_.left(end));
        partial_.remove(0, end + 1);
    }
}

void TProcess::Send(const QString& line) {
    const QByteArray bytes = (line + '\n').toUtf8();
    [[maybe_unused]] auto n = ::write(process_.In(), bytes.constData(), bytes.size());
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
    process_.start(ModemProgram(), args);
    WaitUntil([&] { return QFileInfo::exists(link); }, 5000);
    if (listenPort > 0) {
        // Ready when it takes calls.
        WaitUntil([&] {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<uint16_t>(listenPort));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
            ::close(fd);
            return up;
        }, 5000);
    }
}

TModemEmulator::~TModemEmulator() { process_.kill(); }

QString PeerProgram() { return QStringLiteral(LINE_TEST_PEER); }
QString ModemProgram() { return QStringLiteral(VANDREX_MODEM_EXE); }

bool THeldLock::Start(const QString& path, int ms) {
    // Python rather than flock(1), whose command would be a second process
    // left running (with our output pipe) when flock itself is ended. The
    // holder waits for the lock: a probe below may hold it for a moment.
    holder_.start("python3", {"-c",
                              "import fcntl, sys, time\n"
                              "f = open(sys.argv[1])\n"
                              "fcntl.flock(f, fcntl.LOCK_EX)\n"
                              "time.sleep(60)\n",
                              path});
    if (!holder_.waitForStarted()) return false;
    return WaitUntil(
        [&] {
            TSpawn probe;
            probe.start("flock", {"-n", path, "true"});
            return probe.waitForFinished(5000) && probe.exitCode() != 0;
        },
        ms);
}

}  // namespace vandrex::test

#ifndef VANDREX_TELEPHONY_SUPPORT_BORROWED
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
#endif
