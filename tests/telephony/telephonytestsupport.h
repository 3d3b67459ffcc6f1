#pragma once
// Shared pieces of the telephony tests: waiting while the event loop runs,
// free ports, private settings and lock folders, the peer process and the
// modem emulator.

#include <QProcess>
#include <sys/types.h>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <ostream>

#include "tests/telephony/freeport.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace vandrex::test {

// Serves the event loop until pred holds or ms pass; returns pred().
bool WaitUntil(const std::function<bool()>& pred, int ms = 10000);
// Serves the event loop for ms.
void Serve(int ms);

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

// A child process started with posix_spawn (no fork: a fork while the
// line's worker threads hold locks confuses ThreadSanitizer). The calls
// follow QProcess's names.
class TSpawn {
public:
    TSpawn() = default;
    ~TSpawn();
    TSpawn(const TSpawn&) = delete;
    TSpawn& operator=(const TSpawn&) = delete;
    // environment: extra "NAME=value" entries; piped: standard input and
    // output are pipes (In(), Out()), else inherited.
    void start(const QString& program, const QStringList& arguments,
               const QStringList& environment = {}, bool piped = false);
    bool waitForStarted() const { return pid_ > 0; }
    bool waitForFinished(int ms = 30000);
    bool Running();
    int exitCode() const { return exitCode_; }
    qint64 processId() const { return pid_; }
    void kill();
    void terminate();
    int In() const { return in_; }
    int Out() const { return out_; }

private:
    pid_t pid_ = -1;
    int exitCode_ = -1;
    int in_ = -1, out_ = -1;
};

// Another program holding a serial port's lock (as minicom would): one
// process that takes flock on the path and keeps it until it is ended.
// Start() returns once the lock is held.
class THeldLock {
public:
    bool Start(const QString& path, int ms = 10000);
    // Ends the holder and waits for it: the lock is free again.
    void Stop() { holder_.kill(); }

private:
    TSpawn holder_;
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
    void Stop();

private:
    void ReadAvailable();
    TSpawn process_;
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

private:
    QString link_;
    int port_;
    TSpawn process_;
};

QString PeerProgram();
QString ModemProgram();

}  // namespace vandrex::test
