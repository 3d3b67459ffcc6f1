#include "tests/ipc/ipctestsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <signal.h>

#include "platform/windowmessages.h"

namespace vandrex::test {

namespace {

// One Qt application and one private message folder for the whole run, so
// that copies of other test runs on the machine stay out of reach.
class IpcEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "ipc_tests";
        static char* argv[] = {name, nullptr};
        root_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/ipcXXXXXX");
        qputenv("XDG_RUNTIME_DIR", root_->path().toLocal8Bit());
        app_ = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }
    static QString root() { return root_->path(); }

private:
    static inline std::unique_ptr<QTemporaryDir> root_;
    std::unique_ptr<QCoreApplication> app_;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new IpcEnvironment);

}  // namespace

QString RuntimeRoot() { return IpcEnvironment::root(); }

Peer::Peer(const QStringList& arguments) : Peer(QStringLiteral(IPC_TEST_PEER), arguments, QString(), "ready ") {
    id_ = lines_.value(0).mid(6);
}

Peer::Peer(const QString& program, const QStringList& arguments, const QString& workingFolder,
           const QString& readyPrefix) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (!workingFolder.isEmpty()) process_.setWorkingDirectory(workingFolder);
    process_.start(program, arguments);
    if (!process_.waitForStarted(10000)) {
        ADD_FAILURE() << "cannot start " << program.toStdString();
        return;
    }
    if (!readyPrefix.isEmpty() && WaitFor(readyPrefix, 20000).isEmpty())
        ADD_FAILURE() << program.toStdString() << " not ready";
}

Peer::~Peer() {
    if (process_.state() == QProcess::NotRunning) return;
    Continue();
    process_.kill();
    process_.waitForFinished(5000);
}

void Peer::Command(const QString& line) {
    process_.write((line + '\n').toUtf8());
    process_.waitForBytesWritten(1000);
}

void Peer::readAvailable() {
    while (process_.canReadLine()) {
        QString line = QString::fromUtf8(process_.readLine());
        if (line.endsWith('\n')) line.chop(1);
        lines_ << line;
    }
}

QString Peer::WaitFor(const QString& prefix, int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    for (;;) {
        readAvailable();
        while (next_ < lines_.size()) {
            const QString& line = lines_[next_++];
            if (line.startsWith(prefix)) return line;
        }
        if (deadline.hasExpired() || process_.state() == QProcess::NotRunning) {
            readAvailable();
            while (next_ < lines_.size()) {
                const QString& line = lines_[next_++];
                if (line.startsWith(prefix)) return line;
            }
            return QString();
        }
        QCoreApplication::processEvents();
        process_.waitForReadyRead(20);
    }
}

QStringList Peer::Drain(int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents();
        process_.waitForReadyRead(20);
    }
    readAvailable();
    const QStringList fresh = lines_.mid(next_);
    next_ = lines_.size();
    return fresh;
}

void Peer::Kill() {
    Continue();
    process_.kill();
    process_.waitForFinished(5000);
}

bool Peer::WaitForExit(int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (process_.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        process_.waitForFinished(20);
    }
    readAvailable();
    return process_.state() == QProcess::NotRunning;
}

void Peer::Stop() {
    if (process_.processId() > 0) ::kill(static_cast<pid_t>(process_.processId()), SIGSTOP);
}

void Peer::Continue() {
    if (process_.processId() > 0) ::kill(static_cast<pid_t>(process_.processId()), SIGCONT);
}

QString SocketPathOf(const QString& id) {
    const QDir folder(MessageFolder());
    for (const QString& name : folder.entryList(QDir::System | QDir::Files))
        if (name.section('.', 1) == id) return folder.filePath(name);
    return QString();
}

}  // namespace vandrex::test
