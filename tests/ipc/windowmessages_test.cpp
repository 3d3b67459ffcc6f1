// The window-message stand-in between real processes: the private folder,
// stale sockets, hostile or broken requests and senders whose receiver dies
// or hangs.

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <memory>
#include <vector>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/windowmessages.h"
#include "tests/ipc/ipctestsupport.h"

using namespace vandrex;
using vandrex::test::Peer;
using vandrex::test::SocketPathOf;

namespace {

void put32(QByteArray& out, quint32 v) {
    for (int i = 0; i < 4; ++i) out.append(char((v >> (8 * i)) & 0xFF));
}
void put64(QByteArray& out, quint64 v) {
    for (int i = 0; i < 8; ++i) out.append(char((v >> (8 * i)) & 0xFF));
}

QByteArray messageFrame(quint32 msg, quint32 cbData, const QByteArray& payload) {
    QByteArray out("VXWM");
    put32(out, 2);
    put32(out, msg);
    put32(out, cbData);
    put64(out, 0);
    put64(out, 0);
    return out + payload;
}

QByteArray textFrame(const QByteArray& text) {
    return messageFrame(WM_COPYDATA, text.size() + 1, text + '\0');
}

int rawConnect(const QString& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray p = path.toLocal8Bit();
    std::memcpy(addr.sun_path, p.constData(), p.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Everything the receiver sends back until it closes (or the time is up).
QByteArray answerOf(int fd, int milliseconds = 8000) {
    QByteArray got;
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        char buf[64];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        got.append(buf, n);
    }
    return got;
}

QByteArray exchange(const QString& path, const QByteArray& bytes, bool closeAfter = false) {
    const int fd = rawConnect(path);
    if (fd < 0) return "no connection";
    ::send(fd, bytes.constData(), bytes.size(), MSG_NOSIGNAL);
    if (closeAfter) ::shutdown(fd, SHUT_WR);
    const QByteArray got = answerOf(fd);
    ::close(fd);
    return got;
}

bool isHandled(const QByteArray& answer) { return answer.size() == 12 && answer.startsWith("VXWR"); }

}  // namespace

TEST(MessageFolder, IsPrivateToTheUser) {
    const QString folder = MessageFolder();
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_EQ(folder, vandrex::test::RuntimeRoot() + "/vandrex");
    struct stat st {};
    ASSERT_EQ(lstat(folder.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(st.st_uid, getuid());
}

TEST(MessageFolder, TightensAnOwnOpenFolderAndRefusesUnsafeOnes) {
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    QTemporaryDir base;
    qputenv("XDG_RUNTIME_DIR", base.path().toLocal8Bit());
    const QByteArray folder = (base.path() + "/vandrex").toLocal8Bit();

    ASSERT_EQ(mkdir(folder.constData(), 0777), 0);
    chmod(folder.constData(), 0777);
    EXPECT_EQ(MessageFolder(), QString::fromLocal8Bit(folder));
    struct stat st {};
    lstat(folder.constData(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    // A link planted in place of the folder is not followed.
    rmdir(folder.constData());
    QTemporaryDir elsewhere;
    ASSERT_EQ(symlink(elsewhere.path().toLocal8Bit().constData(), folder.constData()), 0);
    QString error;
    EXPECT_TRUE(MessageFolder(&error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
    unlink(folder.constData());

    if (getuid() == 0) {
        ASSERT_EQ(mkdir(folder.constData(), 0700), 0);
        ASSERT_EQ(chown(folder.constData(), 65534, 65534), 0);
        EXPECT_TRUE(MessageFolder().isEmpty()) << "a folder of another user";
        rmdir(folder.constData());
    }
    qputenv("XDG_RUNTIME_DIR", saved);
}

TEST(MessageFolder, FallsBackToAPrivateTempFolder) {
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTmp = qgetenv("TMPDIR");
    QTemporaryDir tmp;
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", tmp.path().toLocal8Bit());
    const QString folder = MessageFolder();
    EXPECT_EQ(folder, tmp.path() + "/vandrex-" + QString::number(getuid()));
    struct stat st {};
    ASSERT_EQ(lstat(folder.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    qputenv("XDG_RUNTIME_DIR", saved);
    if (savedTmp.isEmpty())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", savedTmp);
}

TEST(FindWindow, MatchesClassAndTitleExactly) {
    Peer peer({"--title", "Find Me"});
    EXPECT_EQ(FindWindow("TApplication", "Find Me").Id(), peer.Id());
    EXPECT_TRUE(FindWindow("TApplication", "find me").IsNull());
    EXPECT_TRUE(FindWindow("TApplication", "Find Me ").IsNull());
    EXPECT_TRUE(FindWindow("TOther", "Find Me").IsNull());
    EXPECT_TRUE(FindWindow("", "Find Me").IsNull());
    EXPECT_TRUE(FindWindow("TApplication", "").IsNull());
}

TEST(FindWindow, FollowsTitleChangesAndPrefersTheNewestCopy) {
    Peer older({"--title", "Twin"});
    Peer newer({"--title", "Twin"});
    EXPECT_EQ(FindWindow("TApplication", "Twin").Id(), newer.Id());

    newer.Command("title Single");
    ASSERT_FALSE(newer.WaitFor("title ").isEmpty());
    EXPECT_EQ(FindWindow("TApplication", "Twin").Id(), older.Id());
    EXPECT_EQ(FindWindow("TApplication", "Single").Id(), newer.Id());
}

TEST(FindWindow, RemovesTheSocketsOfDeadCopies) {
    Peer ghost({"--title", "Ghost"});
    const QString path = SocketPathOf(ghost.Id());
    ASSERT_FALSE(path.isEmpty());
    ghost.Kill();  // SIGKILL: the file stays behind
    ASSERT_TRUE(QFile::exists(path));
    EXPECT_TRUE(FindWindow("TApplication", "Ghost").IsNull());
    EXPECT_FALSE(QFile::exists(path));

    // A left-over file of a living process id (this one) nobody listens on.
    Peer live({"--title", "Ghost"});
    const QString livePath = SocketPathOf(live.Id());
    const QString fake = QFileInfo(livePath).path() + "/" + QFileInfo(livePath).fileName().section('.', 0, 0) +
                         "." + QString::number(getpid()) + ".deadbeef";
    {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray p = fake.toLocal8Bit();
        std::memcpy(addr.sun_path, p.constData(), p.size());
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::close(fd);
    }
    struct timespec later[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
    utimensat(AT_FDCWD, fake.toLocal8Bit().constData(), later, 0);  // the newest entry
    EXPECT_EQ(FindWindow("TApplication", "Ghost").Id(), live.Id());
    EXPECT_FALSE(QFile::exists(fake));
}

TEST(Receiver, IgnoresGarbageOversizedAndTruncatedRequests) {
    Peer peer({"--title", "Sturdy"});
    const QString path = SocketPathOf(peer.Id());
    ASSERT_FALSE(path.isEmpty());

    EXPECT_EQ(exchange(path, "GET / HTTP/1.0\r\n\r\n"), QByteArray());
    EXPECT_EQ(exchange(path, QByteArray(5000, '\xAA')), QByteArray());
    EXPECT_EQ(exchange(path, messageFrame(WM_COPYDATA, 1000, QByteArray(1000, 'x'))), QByteArray())
        << "more than 256 bytes of copy data";
    EXPECT_EQ(exchange(path, messageFrame(12, 4, QByteArray("abc\0", 4))), QByteArray()) << "not WM_COPYDATA";
    EXPECT_EQ(exchange(path, textFrame("two") + textFrame("frames")), QByteArray());
    EXPECT_EQ(exchange(path, textFrame("truncated").left(35), true), QByteArray());
    EXPECT_EQ(exchange(path, QByteArray("VXWM"), true), QByteArray());

    // Not a text (no terminating zero): answered, but no handler runs.
    EXPECT_TRUE(isHandled(exchange(path, messageFrame(WM_COPYDATA, 3, "abc"))));

    // A request that stalls half-way does not block the others and is dropped.
    const int stalled = rawConnect(path);
    const QByteArray half = textFrame("stalled").left(20);
    ::send(stalled, half.constData(), half.size(), MSG_NOSIGNAL);
    EXPECT_TRUE(isHandled(exchange(path, textFrame("after"))));
    EXPECT_EQ(answerOf(stalled), QByteArray());
    ::close(stalled);

    EXPECT_EQ(peer.WaitFor("got "), "got 5 after");
    EXPECT_TRUE(peer.Drain().filter("got ").isEmpty());
}

TEST(Receiver, IsOutOfReachOfOtherUsers) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    Peer peer({"--title", "Guarded"});
    const QString path = SocketPathOf(peer.Id());
    ASSERT_FALSE(path.isEmpty());

    // A second name for the socket, open to everybody, past the folder.
    QTemporaryDir open;
    chmod(open.path().toLocal8Bit().constData(), 0777);
    const QString door = open.path() + "/door";
    ASSERT_EQ(link(path.toLocal8Bit().constData(), door.toLocal8Bit().constData()), 0);

    auto asNobody = [](const QString& target, bool widen) {
        if (widen) chmod(target.toLocal8Bit().constData(), 0777);
        const pid_t child = fork();
        if (child == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0) _exit(90);
            const int fd = rawConnect(target);
            if (fd < 0) _exit(errno == EACCES ? 10 : 11);
            const QByteArray frame = textFrame("intruder");
            ::send(fd, frame.constData(), frame.size(), MSG_NOSIGNAL);
            _exit(answerOf(fd, 3000).isEmpty() ? 20 : 21);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(asNobody(path, false), 10) << "the folder keeps other users out";
    EXPECT_EQ(asNobody(door, true), 20) << "the peer credentials are checked";
    EXPECT_TRUE(peer.Drain(300).filter("got ").isEmpty());
}

TEST(Sender, DoesNotHangWhenTheReceiverDiesOrStalls) {
    Peer victim({"--title", "Victim", "--hang-on", "hang"});
    Peer sender({"--title", "Waiter", "--target", "Victim", "--timeout", "60000"});

    sender.Command("send hang");
    ASSERT_EQ(victim.WaitFor("got "), "got 4 hang");
    EXPECT_TRUE(sender.Drain(300).filter("sent ").isEmpty()) << "the send waits for the handler";
    QElapsedTimer clock;
    clock.start();
    victim.Kill();
    EXPECT_EQ(sender.WaitFor("sent ", 20000), "sent 1 hang");
    EXPECT_LT(clock.elapsed(), 20000) << "a dead receiver ends the wait at once";

    // A receiver that is alive but never answers: the wait times out.
    Peer frozen({"--title", "Frozen"});
    Peer impatient({"--title", "Impatient", "--target", "Frozen", "--timeout", "1000"});
    Peer bystander({"--title", "Bystander"});
    impatient.Command("send hello");
    ASSERT_EQ(frozen.WaitFor("got "), "got 5 hello");
    ASSERT_EQ(impatient.WaitFor("sent "), "sent 1 hello");
    frozen.Stop();
    impatient.Command("send anyone?");
    EXPECT_EQ(impatient.WaitFor("sent ", 20000), "sent 1 anyone?");
    impatient.Command("target Bystander");
    impatient.Command("send still here");
    EXPECT_EQ(bystander.WaitFor("got "), "got 10 still here");
    frozen.Continue();
}

namespace {

// Sets this process's message timeout for one test.
class ScopedMessageTimeout {
public:
    explicit ScopedMessageTimeout(int milliseconds) : saved_(MessageTimeout()) { SetMessageTimeout(milliseconds); }
    ~ScopedMessageTimeout() { SetMessageTimeout(saved_); }

private:
    int saved_;
};

}  // namespace

TEST(BusyCopies, AreFoundAndAnsweredHoweverLongTheirHandlerRuns) {
    // Message timeouts far shorter than the handler: only a stopped receiver
    // may end a wait early.
    const ScopedMessageTimeout timeout(300);
    Peer busy({"--title", "Busy", "--busy-on", "work=2500"});
    Peer sender({"--title", "Boss", "--target", "Busy", "--timeout", "300"});
    sender.Command("send work");
    ASSERT_EQ(busy.WaitFor("got "), "got 4 work");
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(FindWindow("TApplication", "Busy").Id(), busy.Id()) << "a busy copy is still there";
    EXPECT_GE(clock.elapsed(), 1000) << "the search waited for the answer";
    EXPECT_EQ(sender.WaitFor("sent ", 20000), "sent 1 work");
    EXPECT_GE(clock.elapsed(), 1500) << "the send waited for the handler";
    EXPECT_EQ(busy.WaitFor("done "), "done work");

    // A stopped copy cannot answer: after the bound it still counts as found,
    // and a send to it gives up.
    busy.Stop();
    clock.restart();
    EXPECT_EQ(FindWindow("TApplication", "Busy").Id(), busy.Id());
    EXPECT_LT(clock.elapsed(), 10000);
    busy.Continue();
}

TEST(IsWindow, TellsRunningAndStoppedCopiesFromGoneOnes) {
    Peer first({"--title", "Clone"});
    Peer second({"--title", "Clone"});
    const TWindowHandle a(first.Id()), b(second.Id());
    EXPECT_TRUE(IsWindow(a));
    EXPECT_TRUE(IsWindow(b));
    EXPECT_FALSE(IsWindow(TWindowHandle()));
    EXPECT_FALSE(IsWindow(TWindowHandle("1.deadbeef")));
    const auto both = FindWindows("TApplication", "Clone");
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0], b) << "newest first";
    EXPECT_EQ(both[1], a);

    first.Stop();
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(IsWindow(a)) << "stopped is not gone";
    EXPECT_LT(clock.elapsed(), 1000) << "and is not waited for";
    first.Continue();

    // Killed without a word: its process and socket are gone.
    second.Kill();
    EXPECT_FALSE(IsWindow(b));
    EXPECT_EQ(FindWindows("TApplication", "Clone"), std::vector<TWindowHandle>{a});
    first.Command("alive " + b.Id());
    EXPECT_EQ(first.WaitFor("alive "), "alive 0");
}

TEST(CopyDecision, OnlyOneOfCopiesStartingTogetherBecomesTheFirst) {
    for (int copies : {2, 3}) {
        for (int round = 0; round < 20; ++round) {
            std::vector<std::unique_ptr<Peer>> peers;
            for (int i = 0; i < copies; ++i) peers.push_back(std::make_unique<Peer>(QStringList{}));
            // All decide at once; each waits a little between its search and
            // its title, as a starting window does.
            for (auto& peer : peers) peer->Command("decide First=Second=20");
            int firsts = 0;
            for (auto& peer : peers) {
                const QString line = peer->WaitFor("decided ", 30000);
                ASSERT_FALSE(line.isEmpty()) << copies << " copies, round " << round;
                EXPECT_EQ(line.section(' ', 2, 2), "1") << "the lock was held";
                if (line.section(' ', 1, 1) == "first") ++firsts;
            }
            ASSERT_EQ(firsts, 1) << copies << " copies, round " << round;
        }
    }
}
