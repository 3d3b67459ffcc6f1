#include "platform/windowmessages.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/dialogs.h"

namespace vandrex {

namespace {

constexpr char kRequestMagic[4] = {'V', 'X', 'W', 'M'};
constexpr char kReplyMagic[4] = {'V', 'X', 'W', 'R'};
constexpr quint32 kQuery = 1;
constexpr quint32 kMessage = 2;
constexpr int kHeaderSize = 32;
constexpr int kReplySize = 12;
constexpr quint32 kMaxNameBytes = 1024;
constexpr int kMaxFrame = kHeaderSize + 2 * kMaxNameBytes;
constexpr int kMaxIncoming = 32;        // requests being read at one time
constexpr qint64 kIncomingGraceMs = 3000;  // a request must arrive whole by then
constexpr int kPollSliceMs = 250;

int g_timeoutMs = 5000;

void put32(QByteArray& out, quint32 v) {
    for (int i = 0; i < 4; ++i) out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void put64(QByteArray& out, quint64 v) {
    for (int i = 0; i < 8; ++i) out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}
quint32 get32(const char* p) {
    quint32 v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}
quint64 get64(const char* p) {
    quint64 v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

QByteArray header(quint32 kind, quint32 a, quint32 b, quint64 c, quint64 d) {
    QByteArray out(kRequestMagic, 4);
    put32(out, kind);
    put32(out, a);
    put32(out, b);
    put64(out, c);
    put64(out, d);
    return out;
}

// The hash part of a socket name: 16 hex digits of SHA-1 over class and title.
QByteArray nameHash(const QString& className, const QString& title) {
    QByteArray key = className.toUtf8();
    key.append('\0');
    key.append(title.toUtf8());
    return QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16);
}

// A socket file name is "<hash>.<pid>.<token>"; the id is "<pid>.<token>".
struct SocketName {
    QByteArray hash;
    QByteArray id;
    pid_t pid = 0;
};

std::optional<SocketName> parseName(const QByteArray& name) {
    const QList<QByteArray> parts = name.split('.');
    if (parts.size() != 3 || parts[0].size() != 16) return std::nullopt;
    bool ok = false;
    const long pid = parts[1].toLong(&ok);
    if (!ok || pid <= 0) return std::nullopt;
    return SocketName{parts[0], parts[1] + '.' + parts[2], static_cast<pid_t>(pid)};
}

bool isOwnSocket(const QByteArray& path) {
    struct stat st {};
    return lstat(path.constData(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == getuid();
}

bool peerIsSameUser(int fd) {
    struct ucred cred {};
    socklen_t len = sizeof cred;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == getuid();
}

// The process serving the other end of a connected socket; 0 when unknown.
pid_t peerProcess(int fd) {
    struct ucred cred {};
    socklen_t len = sizeof cred;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 ? cred.pid : 0;
}

enum class ProcessState { Running, Stopped, Gone };

// Whether a process runs (or sleeps, or waits on a disc), is stopped (SIGSTOP,
// a debugger) or has ended.
ProcessState stateOf(pid_t pid) {
    if (kill(pid, 0) != 0 && errno == ESRCH) return ProcessState::Gone;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", int(pid));
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ProcessState::Gone : ProcessState::Running;
    char buffer[512];
    const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (n <= 0) return ProcessState::Running;
    buffer[n] = '\0';
    // "pid (command) S ...": the command may hold spaces and parentheses.
    const char* close = std::strrchr(buffer, ')');
    if (!close || close[1] != ' ') return ProcessState::Running;
    switch (close[2]) {
        case 'Z':
        case 'X':
        case 'x':
            return ProcessState::Gone;
        case 'T':
        case 't':
            return ProcessState::Stopped;
        default:
            return ProcessState::Running;
    }
}

bool fillAddress(const QByteArray& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= static_cast<qsizetype>(sizeof addr.sun_path)) return false;
    std::memcpy(addr.sun_path, path.constData(), path.size());
    return true;
}

// Connects without blocking. Returns the socket or -1 with errno set.
int connectTo(const QByteArray& path) {
    sockaddr_un addr;
    if (!fillAddress(path, addr)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

// Writes all of data before the deadline.
bool writeAll(int fd, const QByteArray& data, const QDeadlineTimer& deadline) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(fd, data.constData() + done, data.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (deadline.hasExpired()) return false;
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, std::clamp<qint64>(deadline.remainingTime(), 0, kPollSliceMs));
            continue;
        }
        return false;
    }
    return true;
}

// Unlinks a socket file nobody listens on any more.
void removeIfStale(const QByteArray& path) {
    if (!isOwnSocket(path)) return;
    const int fd = connectTo(path);
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    if (errno == ECONNREFUSED) ::unlink(path.constData());
}

struct Entry {
    QByteArray path;
    SocketName name;
    qint64 modified;  // nanoseconds
};

// The socket files of the folder, newest first; hash empty means all.
std::vector<Entry> listSockets(const QByteArray& folder, const QByteArray& hash) {
    std::vector<Entry> entries;
    DIR* dir = opendir(folder.constData());
    if (!dir) return entries;
    while (dirent* d = readdir(dir)) {
        const QByteArray file(d->d_name);
        const auto name = parseName(file);
        if (!name || (!hash.isEmpty() && name->hash != hash)) continue;
        const QByteArray path = folder + '/' + file;
        struct stat st {};
        if (lstat(path.constData(), &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
        entries.push_back({path, *name,
                           qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec});
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const Entry& x, const Entry& y) {
        return x.modified != y.modified ? x.modified > y.modified : x.path < y.path;
    });
    return entries;
}

// A request being received by this copy.
struct Incoming {
    int fd = -1;
    QByteArray data;
    QDeadlineTimer deadline;
    bool busy = false;    // complete and being handled
    bool closed = false;
    QSocketNotifier* notifier = nullptr;
};

// This copy's listening side: the socket of its application window and the
// requests arriving on it.
class Port {
public:
    static Port& instance() {
        static Port port;
        return port;
    }

    ~Port() {
        // Static destruction: the Qt objects may be gone; only the file matters.
        if (!path_.isEmpty()) ::unlink(path_.constData());
    }

    bool listening() const { return listenFd_ >= 0; }
    const QByteArray& id() const { return id_; }

    void announce() {
        QString error;
        const QByteArray folder = MessageFolder(&error).toLocal8Bit();
        if (folder.isEmpty()) {
            qWarning("vandrex: window messages disabled: %s", qPrintable(error));
            return;
        }
        const QByteArray newPath = folder + '/' +
                                   nameHash(ApplicationWindow().ClassName(),
                                            ApplicationWindow().Title()) +
                                   '.' + id_;
        if (listening() && newPath == path_) return;
        if (listening() && ::rename(path_.constData(), newPath.constData()) == 0) {
            path_ = newPath;
            ::utimensat(AT_FDCWD, path_.constData(), nullptr, 0);  // newest announcement
            return;
        }
        stop();
        start(folder, newPath);
    }

    // Takes every connection waiting on the socket.
    void acceptPending() {
        while (listening()) {
            const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (!peerIsSameUser(fd) || incoming_.size() >= kMaxIncoming) {
                ::close(fd);
                continue;
            }
            auto in = std::make_shared<Incoming>();
            in->fd = fd;
            in->deadline = QDeadlineTimer(kIncomingGraceMs);
            if (QCoreApplication::instance()) {
                in->notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
                std::weak_ptr<Incoming> weak = in;
                QObject::connect(in->notifier, &QSocketNotifier::activated, in->notifier,
                                 [this, weak] {
                                     if (auto strong = weak.lock()) serve(strong);
                                 });
            }
            incoming_.push_back(in);
            serve(in);
        }
    }

    // Reads what has arrived; handles the request once it is whole.
    void serve(const std::shared_ptr<Incoming>& in) {
        if (in->busy || in->closed) return;
        char chunk[1024];
        bool ended = false;  // the sender closed its side (or the socket failed)
        for (;;) {
            const ssize_t n = ::recv(in->fd, chunk, sizeof chunk, 0);
            if (n > 0) {
                in->data.append(chunk, n);
                if (in->data.size() > kMaxFrame) return drop(in);  // oversized
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            ended = true;
            break;
        }
        const QByteArray& d = in->data;
        if (d.size() >= 4 && std::memcmp(d.constData(), kRequestMagic, 4) != 0) return drop(in);
        if (d.size() < kHeaderSize) {
            if (ended) drop(in);  // truncated
            return;
        }
        const quint32 kind = get32(d.constData() + 4);
        const quint32 a = get32(d.constData() + 8);
        const quint32 b = get32(d.constData() + 12);
        qint64 payload = 0;
        if (kind == kQuery && a <= kMaxNameBytes && b <= kMaxNameBytes)
            payload = qint64(a) + b;
        else if (kind == kMessage && a == WM_COPYDATA && b <= kMaxCopyDataBytes)
            payload = b;
        else
            return drop(in);
        if (d.size() < kHeaderSize + payload) {
            if (ended) drop(in);  // truncated
            return;
        }
        if (d.size() > kHeaderSize + payload) return drop(in);  // trailing bytes
        handle(in, kind, a, b);
    }

    // Closes requests that did not arrive whole in time.
    void expire() {
        const auto snapshot = incoming_;
        for (const auto& in : snapshot)
            if (!in->busy && in->deadline.hasExpired()) drop(in);
    }

    // The descriptors a waiting sender has to watch besides its answer.
    void pollSet(std::vector<pollfd>& fds, std::vector<std::shared_ptr<Incoming>>& owners) {
        if (listening()) {
            fds.push_back({listenFd_, POLLIN, 0});
            owners.push_back(nullptr);
        }
        for (const auto& in : incoming_) {
            if (in->busy || in->closed) continue;
            fds.push_back({in->fd, POLLIN, 0});
            owners.push_back(in);
        }
    }

    void stop() {
        for (const auto& in : std::vector(incoming_)) drop(in);
        if (listenNotifier_) {
            listenNotifier_->setEnabled(false);
            listenNotifier_->deleteLater();
            listenNotifier_ = nullptr;
        }
        if (sweepTimer_) {
            sweepTimer_->stop();
            sweepTimer_->deleteLater();
            sweepTimer_ = nullptr;
        }
        if (listenFd_ >= 0) ::close(listenFd_);
        listenFd_ = -1;
        if (!path_.isEmpty()) ::unlink(path_.constData());
        path_.clear();
    }

private:
    Port() {
        id_ = QByteArray::number(qint64(getpid())) + '.' +
              QByteArray::number(QRandomGenerator::system()->generate(), 16).rightJustified(8, '0');
    }

    void start(const QByteArray& folder, const QByteArray& path) {
        sockaddr_un addr;
        if (!fillAddress(path, addr)) {
            qWarning("vandrex: window messages disabled: socket path too long");
            return;
        }
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return;
        ::unlink(path.constData());
        // The folder already keeps other users out; the file mode is a second fence.
        const mode_t old = umask(0077);
        const int bound = bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
        umask(old);
        if (bound != 0 || listen(fd, 64) != 0) {
            qWarning("vandrex: window messages disabled: %s", std::strerror(errno));
            ::close(fd);
            return;
        }
        listenFd_ = fd;
        path_ = path;
        removeDeadCopies(folder);
        if (QCoreApplication::instance()) {
            listenNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Read);
            QObject::connect(listenNotifier_, &QSocketNotifier::activated, listenNotifier_,
                             [this] { acceptPending(); });
            sweepTimer_ = new QTimer;
            QObject::connect(sweepTimer_, &QTimer::timeout, sweepTimer_, [this] { expire(); });
            sweepTimer_->start(1000);
            static bool cleanupAdded = false;
            if (!cleanupAdded) {
                cleanupAdded = true;
                qAddPostRoutine([] { Port::instance().stop(); });
            }
        }
    }

    // Files of copies whose process is gone and whose socket nobody serves.
    void removeDeadCopies(const QByteArray& folder) {
        for (const Entry& e : listSockets(folder, QByteArray())) {
            if (e.name.id == id_) continue;
            if (kill(e.name.pid, 0) == 0 || errno != ESRCH) continue;
            removeIfStale(e.path);
        }
    }

    void drop(const std::shared_ptr<Incoming>& in) {
        if (in->closed) return;
        in->closed = true;
        if (in->notifier) {
            in->notifier->setEnabled(false);
            in->notifier->deleteLater();
            in->notifier = nullptr;
        }
        ::close(in->fd);
        incoming_.erase(std::remove(incoming_.begin(), incoming_.end(), in), incoming_.end());
    }

    void handle(const std::shared_ptr<Incoming>& in, quint32 kind, quint32 a, quint32 b) {
        in->busy = true;
        if (in->notifier) in->notifier->setEnabled(false);
        const QByteArray d = in->data;
        qint64 result = 0;
        if (kind == kQuery) {
            const QString className = QString::fromUtf8(d.mid(kHeaderSize, a));
            const QString title = QString::fromUtf8(d.mid(kHeaderSize + a, b));
            result = className == ApplicationWindow().ClassName() &&
                     title == ApplicationWindow().Title();
        } else {
            const QByteArray bytes = d.mid(kHeaderSize, b);
            TCopyDataStruct data;
            data.dwData = static_cast<quintptr>(get64(d.constData() + 24));
            data.cbData = b;
            data.lpData = b ? bytes.constData() : nullptr;
            TMessage message;
            message.Msg = WM_COPYDATA;
            message.WParam = static_cast<quintptr>(get64(d.constData() + 16));
            message.CopyData = &data;
            try {
                ApplicationWindow().Dispatch(message);
            } catch (const std::exception& e) {
                // As the event loop would: the error box, and the window goes on.
                ShowError(QString::fromLocal8Bit(e.what()));
            }
            result = message.Result;
        }
        QByteArray reply(kReplyMagic, 4);
        put64(reply, static_cast<quint64>(result));
        if (!in->closed) writeAll(in->fd, reply, QDeadlineTimer(kPollSliceMs));
        in->busy = false;
        drop(in);
    }

    QByteArray id_;
    QByteArray path_;
    int listenFd_ = -1;
    QSocketNotifier* listenNotifier_ = nullptr;
    QTimer* sweepTimer_ = nullptr;
    std::vector<std::shared_ptr<Incoming>> incoming_;
};

// How a request ended without an answer.
enum class NoAnswer { None, Gone, Stopped };

// Waits for the answer on fd, handling this copy's own incoming requests
// meanwhile. Nothing else of the process runs during the wait. The wait lasts
// as long as the receiving process runs, however long its handler takes; it
// ends at once when that process ends or drops the request, and after
// MessageTimeout() of the process being stopped. Without a known process the
// wait is bounded by MessageTimeout().
std::optional<qint64> awaitReply(int fd, pid_t peer, NoAnswer* why) {
    Port& port = Port::instance();
    QByteArray reply;
    const QDeadlineTimer unknownPeerDeadline(g_timeoutMs);
    QDeadlineTimer stoppedDeadline(QDeadlineTimer::Forever);
    auto fail = [why](NoAnswer reason) -> std::optional<qint64> {
        if (why) *why = reason;
        return std::nullopt;
    };
    for (;;) {
        if (peer <= 0) {
            if (unknownPeerDeadline.hasExpired()) return fail(NoAnswer::Gone);
        } else {
            switch (stateOf(peer)) {
                case ProcessState::Gone:
                    return fail(NoAnswer::Gone);
                case ProcessState::Stopped:
                    if (stoppedDeadline.isForever())
                        stoppedDeadline.setRemainingTime(g_timeoutMs);
                    else if (stoppedDeadline.hasExpired())
                        return fail(NoAnswer::Stopped);
                    break;
                case ProcessState::Running:
                    stoppedDeadline = QDeadlineTimer(QDeadlineTimer::Forever);
                    break;
            }
        }
        std::vector<pollfd> fds{{fd, POLLIN, 0}};
        std::vector<std::shared_ptr<Incoming>> owners{nullptr};
        port.pollSet(fds, owners);
        if (poll(fds.data(), fds.size(), kPollSliceMs) < 0 && errno != EINTR) return fail(NoAnswer::Gone);
        if (fds[0].revents) {
            char chunk[64];
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n == 0) return fail(NoAnswer::Gone);  // the receiver ended or dropped us
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                return fail(NoAnswer::Gone);
            if (n > 0) reply.append(chunk, n);
            if (reply.size() >= kReplySize) {
                if (std::memcmp(reply.constData(), kReplyMagic, 4) != 0) return fail(NoAnswer::Gone);
                return static_cast<qint64>(get64(reply.constData() + 4));
            }
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            if (owners[i])
                port.serve(owners[i]);
            else
                port.acceptPending();
        }
        port.expire();
    }
}

// One request to another copy's socket and its answer.
std::optional<qint64> request(const QByteArray& path, const QByteArray& frame, NoAnswer* why = nullptr) {
    if (why) *why = NoAnswer::Gone;
    const int fd = connectTo(path);
    if (fd < 0) {
        if (errno == ECONNREFUSED) removeIfStale(path);
        return std::nullopt;
    }
    std::optional<qint64> result;
    // A frame is small enough for the socket's buffer: writing does not wait
    // for the receiver to read.
    if (peerIsSameUser(fd) && writeAll(fd, frame, QDeadlineTimer(g_timeoutMs)))
        result = awaitReply(fd, peerProcess(fd), why);
    ::close(fd);
    return result;
}

}  // namespace

namespace {

// The live copies with exactly this class and title, newest first; stops at
// the first when `all` is false.
std::vector<TWindowHandle> findWindows(const QString& className, const QString& windowName, bool all) {
    std::vector<TWindowHandle> found;
    if (className.isEmpty() || windowName.isEmpty()) return found;
    const QByteArray folder = MessageFolder().toLocal8Bit();
    if (folder.isEmpty()) return found;
    Port& port = Port::instance();
    const QByteArray classBytes = className.toUtf8().left(kMaxNameBytes);
    const QByteArray titleBytes = windowName.toUtf8().left(kMaxNameBytes);
    QByteArray query = header(kQuery, classBytes.size(), titleBytes.size(), 0, 0);
    query.append(classBytes);
    query.append(titleBytes);
    for (const Entry& e : listSockets(folder, nameHash(className, windowName))) {
        bool match = false;
        if (e.name.id == port.id()) {
            match = port.listening() && ApplicationWindow().ClassName() == className &&
                    ApplicationWindow().Title() == windowName;
        } else {
            NoAnswer why = NoAnswer::None;
            const auto answer = request(e.path, query, &why);
            // A stopped copy cannot confirm; its socket's name carries the
            // hash of its class and title, so it counts as that window.
            match = (answer && *answer == 1) || (!answer && why == NoAnswer::Stopped);
        }
        if (!match) continue;
        found.push_back(TWindowHandle(QString::fromLatin1(e.name.id)));
        if (!all) break;
    }
    return found;
}

}  // namespace

TWindowHandle FindWindow(const QString& className, const QString& windowName) {
    const auto found = findWindows(className, windowName, false);
    return found.empty() ? TWindowHandle() : found.front();
}

std::vector<TWindowHandle> FindWindows(const QString& className, const QString& windowName) {
    return findWindows(className, windowName, true);
}

bool IsWindow(const TWindowHandle& window) {
    if (window.IsNull()) return false;
    Port& port = Port::instance();
    const QByteArray id = window.Id().toLatin1();
    if (id == port.id()) return port.listening();
    const QByteArray folder = MessageFolder().toLocal8Bit();
    if (folder.isEmpty()) return false;
    for (const Entry& e : listSockets(folder, QByteArray())) {
        if (e.name.id != id) continue;
        const int fd = connectTo(e.path);
        if (fd < 0) {
            if (errno == ECONNREFUSED) removeIfStale(e.path);
            return false;
        }
        // Connecting is enough: a socket is accepted into the backlog while
        // its process lives and keeps it open, busy or stopped alike.
        const pid_t pid = peerProcess(fd);
        ::close(fd);
        return pid <= 0 || stateOf(pid) != ProcessState::Gone;
    }
    return false;
}

bool SendCopyData(const TWindowHandle& target, const TCopyDataStruct& data, qintptr* result) {
    if (target.IsNull() || data.cbData > kMaxCopyDataBytes || (data.cbData && !data.lpData))
        return false;
    Port& port = Port::instance();
    const QByteArray id = target.Id().toLatin1();
    if (port.listening() && id == port.id()) {
        TMessage message;
        message.Msg = WM_COPYDATA;
        message.CopyData = &data;
        try {
            ApplicationWindow().Dispatch(message);
        } catch (const std::exception& e) {
            ShowError(QString::fromLocal8Bit(e.what()));
        }
        if (result) *result = message.Result;
        return true;
    }
    const QByteArray folder = MessageFolder().toLocal8Bit();
    if (folder.isEmpty()) return false;
    QByteArray frame = header(kMessage, WM_COPYDATA, data.cbData, 0, data.dwData);
    frame.append(static_cast<const char*>(data.lpData), data.cbData);
    for (const Entry& e : listSockets(folder, QByteArray())) {
        if (e.name.id != id) continue;
        const auto answer = request(e.path, frame);
        if (answer && result) *result = static_cast<qintptr>(*answer);
        return answer.has_value();
    }
    return false;
}

TWindowHandle OwnWindowHandle() {
    Port& port = Port::instance();
    return port.listening() ? TWindowHandle(QString::fromLatin1(port.id())) : TWindowHandle();
}

void AnnounceApplicationWindow() { Port::instance().announce(); }

QString MessageFolder(QString* error) {
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return QString();
    };
    const uid_t uid = getuid();
    QByteArray dir;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (runtime.startsWith('/') && stat(runtime.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == uid) {
        dir = runtime + "/vandrex";
    } else {
        QByteArray tmp = qgetenv("TMPDIR");
        if (!tmp.startsWith('/')) tmp = "/tmp";
        dir = tmp + "/vandrex-" + QByteArray::number(qint64(uid));
    }
    if (mkdir(dir.constData(), 0700) != 0 && errno != EEXIST)
        return fail(QStringLiteral("cannot create %1: %2")
                        .arg(QString::fromLocal8Bit(dir), QString::fromLocal8Bit(std::strerror(errno))));
    if (lstat(dir.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return fail(QStringLiteral("%1 is not a folder").arg(QString::fromLocal8Bit(dir)));
    if (st.st_uid != uid)
        return fail(QStringLiteral("%1 belongs to another user").arg(QString::fromLocal8Bit(dir)));
    if ((st.st_mode & 07777) != 0700 && chmod(dir.constData(), 0700) != 0)
        return fail(QStringLiteral("cannot make %1 private").arg(QString::fromLocal8Bit(dir)));
    return QString::fromLocal8Bit(dir);
}

TCopyDecisionLock::TCopyDecisionLock() {
    const QByteArray folder = MessageFolder().toLocal8Bit();
    if (folder.isEmpty()) return;
    const QByteArray path = folder + "/decision.lock";
    fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) return;
    Port& port = Port::instance();
    QDeadlineTimer stoppedDeadline(QDeadlineTimer::Forever);
    for (;;) {
        if (flock(fd_, LOCK_EX | LOCK_NB) == 0) break;
        if (errno != EWOULDBLOCK && errno != EINTR) {
            release();
            return;
        }
        // The holder writes its process id; a holder stopped for longer than
        // a message may wait does not keep everybody else from starting.
        char text[32] = {};
        const ssize_t n = ::pread(fd_, text, sizeof text - 1, 0);
        const pid_t holder = n > 0 ? pid_t(std::atol(text)) : 0;
        if (holder > 0 && stateOf(holder) == ProcessState::Stopped) {
            if (stoppedDeadline.isForever())
                stoppedDeadline.setRemainingTime(g_timeoutMs);
            else if (stoppedDeadline.hasExpired()) {
                release();
                return;
            }
        } else {
            stoppedDeadline = QDeadlineTimer(QDeadlineTimer::Forever);
        }
        // Waiting keeps this copy's own socket served, so the holder's search
        // gets its answer from this copy too.
        std::vector<pollfd> fds;
        std::vector<std::shared_ptr<Incoming>> owners;
        port.pollSet(fds, owners);
        poll(fds.data(), fds.size(), 20);
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            if (owners[i])
                port.serve(owners[i]);
            else
                port.acceptPending();
        }
        port.expire();
    }
    held_ = true;
    const QByteArray pid = QByteArray::number(qint64(getpid())) + '\n';
    if (::ftruncate(fd_, 0) == 0 && ::pwrite(fd_, pid.constData(), pid.size(), 0) < 0) {
        // The id only helps others judge a stopped holder; the lock holds anyway.
    }
}

TCopyDecisionLock::~TCopyDecisionLock() { release(); }

void TCopyDecisionLock::release() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the lock
    fd_ = -1;
    held_ = false;
}

int MessageTimeout() { return g_timeoutMs; }
void SetMessageTimeout(int milliseconds) { g_timeoutMs = std::max(1, milliseconds); }

}  // namespace vandrex
