#pragma once
// Shared pieces of the instance-message tests: a private message folder for
// the whole test run and the test peer processes.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>
#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace vandrex::test {

// A running test peer (testpeer.cpp) and the lines it has printed.
class Peer {
public:
    // The test peer with these arguments.
    explicit Peer(const QStringList& arguments);
    // Any program, started in workingFolder; waits for a first line starting
    // with readyPrefix unless that is empty.
    Peer(const QString& program, const QStringList& arguments, const QString& workingFolder,
         const QString& readyPrefix);
    ~Peer();

    // The peer's window id, as printed on "ready".
    const QString& Id() const { return id_; }
    qint64 Pid() const { return process_.processId(); }

    void Command(const QString& line);
    // Waits for the next unread line starting with prefix, keeping this
    // process's own message socket served meanwhile; empty when none came.
    QString WaitFor(const QString& prefix, int milliseconds = 10000);
    // Every line read so far.
    const QStringList& Lines() const { return lines_; }
    // Lines that have arrived until now (no waiting beyond a short poll).
    QStringList Drain(int milliseconds = 200);
    void Kill();
    void Stop();  // SIGSTOP
    void Continue();
    // Waits for the process to end by itself.
    bool WaitForExit(int milliseconds = 10000);
    QProcess& Process() { return process_; }

private:
    void readAvailable();
    QProcess process_;
    QString id_;
    QStringList lines_;
    int next_ = 0;
};

// The socket file of a copy in the message folder, or an empty text.
QString SocketPathOf(const QString& id);
// The test run's message folder root (the XDG_RUNTIME_DIR of every process).
QString RuntimeRoot();

}  // namespace vandrex::test
