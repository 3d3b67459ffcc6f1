// vandrex-phone as a user runs it: two real processes on loopback TCP, and a
// hostile peer played by this test over a socket.

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "imaging/jpegfile.h"
#include "telephony/dataphonewire.h"
#include "tests/telephony/dataphone_support.h"

using namespace vandrex;
using namespace vandrex::dataphone;
namespace fs = std::filesystem;

namespace {

const std::string kTool = VANDREX_PHONE_TOOL;

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/vandrex-phone-test-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempFolder() { fs::remove_all(path_); }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const std::string& data) { std::ofstream(path, std::ios::binary) << data; }

std::set<std::string> Listing(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

int FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// A running vandrex-phone with its output going to files.
class TPhoneProcess {
public:
    TPhoneProcess(const std::vector<std::string>& args, const fs::path& folder, const std::string& tag) {
        out_ = folder / (tag + ".out");
        err_ = folder / (tag + ".err");
        pid_ = ::fork();
        if (pid_ == 0) {
            int o = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int e = ::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int n = ::open("/dev/null", O_RDONLY);
            ::dup2(n, 0);
            ::dup2(o, 1);
            ::dup2(e, 2);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(kTool.c_str()));
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(kTool.c_str(), argv.data());
            ::_exit(127);
        }
    }
    ~TPhoneProcess() {
        if (pid_ > 0 && !done_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    // The exit status, or -1 when it did not end within the limit (then killed).
    int Wait(int seconds = 60) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        int status = 0;
        while (std::chrono::steady_clock::now() < end) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                done_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }
    std::string Out() const { return ReadAll(out_); }
    std::string Err() const { return ReadAll(err_); }

private:
    pid_t pid_ = -1;
    bool done_ = false;
    fs::path out_, err_;
};

std::string Jpeg() {
    TBitmap picture(80, 60);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 80; ++x) {
            auto* p = picture.Pixel(x, y);
            p[0] = static_cast<std::uint8_t>(x * 3);
            p[1] = static_cast<std::uint8_t>(y * 4);
            p[2] = static_cast<std::uint8_t>(x ^ y);
        }
    auto bytes = EncodeJpeg(picture);
    return std::string(bytes.begin(), bytes.end());
}

// The test's end of a call: listens, takes vandrex-phone's call, and speaks
// bytes with a time limit on every read.
class TPeer {
public:
    explicit TPeer(int port) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ::listen(listener_, 1);
    }
    ~TPeer() {
        if (fd_ >= 0) ::close(fd_);
        ::close(listener_);
    }
    bool Accept() {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0) return false;
        fd_ = ::accept(listener_, nullptr, nullptr);
        return fd_ >= 0;
    }
    void Send(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return;
            done += static_cast<std::size_t>(n);
        }
    }
    // Exactly n bytes, or what came before the limit.
    std::string Read(std::size_t n, int ms = 10000) {
        std::string got;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (got.size() < n) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
            char buffer[4096];
            ssize_t r = ::recv(fd_, buffer, std::min(sizeof buffer, n - got.size()), 0);
            if (r <= 0) break;
            got.append(buffer, static_cast<std::size_t>(r));
        }
        return got;
    }
    void HangUp() {
        ::close(fd_);
        fd_ = -1;
    }

private:
    int listener_ = -1;
    int fd_ = -1;
};

}  // namespace

TEST(VandrexPhoneTool, TwoCopiesExchangeChatsPicturesAndFilesBothWays) {
    TempFolder t;
    fs::create_directories(t / "a");
    fs::create_directories(t / "b");
    fs::create_directories(t / "out");
    const std::vector<std::size_t> sizes = {0, 1, 1023, 1024, 2047, 2048, 2049, 5000, 100000};
    std::vector<std::string> callerArgs, answerArgs;
    int port = FreePort();
    std::string address = "127.0.0.1:" + std::to_string(port);
    answerArgs = {"--answer", "--line", address, "--dir", (t / "a").string(), "--idle", "3", "--chat", "reply  with blanks "};
    callerArgs = {"--dial", address, "--dir", (t / "b").string(), "--idle", "5", "--chat", "hello  there "};
    for (auto size : sizes) {
        auto name = "f" + std::to_string(size) + ".bin";
        WriteAll(t / "out" / name, vandrex::testing::Pattern(size, static_cast<unsigned>(size) + 1));
        callerArgs.push_back("--file");
        callerArgs.push_back((t / "out" / name).string());
    }
    WriteAll(t / "out" / "page.html", "<html></html>");
    callerArgs.insert(callerArgs.end(), {"--file", (t / "out" / "page.html").string()});
    std::string jpeg = Jpeg();
    WriteAll(t / "out" / "shot.jpg", jpeg);
    callerArgs.insert(callerArgs.end(), {"--picture", (t / "out" / "shot.jpg").string()});
    WriteAll(t / "out" / "back.txt", vandrex::testing::Pattern(4096, 42));
    answerArgs.insert(answerArgs.end(), {"--file", (t / "out" / "back.txt").string(), "--picture",
                                         (t / "out" / "shot.jpg").string()});

    TPhoneProcess answerer(answerArgs, t.Path(), "answer");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    TPhoneProcess caller(callerArgs, t.Path(), "caller");
    int callerStatus = caller.Wait(90);
    int answerStatus = answerer.Wait(30);
    ASSERT_EQ(callerStatus, 0) << caller.Err();
    ASSERT_EQ(answerStatus, 0) << answerer.Err();

    for (auto size : sizes) {
        auto name = "f" + std::to_string(size) + ".bin";
        EXPECT_EQ(ReadAll(t / "a" / name), ReadAll(t / "out" / name)) << name;
    }
    // The four-character extension is cut to three on the receiving side.
    EXPECT_EQ(ReadAll(t / "a" / "page.htm"), "<html></html>");
    EXPECT_EQ(ReadAll(t / "a" / "Snapshot.jpg"), jpeg);
    EXPECT_EQ(ReadAll(t / "b" / "back.txt"), vandrex::testing::Pattern(4096, 42));
    EXPECT_EQ(ReadAll(t / "b" / "Snapshot.jpg"), jpeg);

    std::string out = caller.Out();
    EXPECT_NE(out.find("sent chat hello  there \n"), std::string::npos) << out;
    EXPECT_NE(out.find("sent file f100000.bin 100000\n"), std::string::npos) << out;
    EXPECT_NE(out.find("sent picture " + std::to_string(jpeg.size()) + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("received chat reply  with blanks \n"), std::string::npos) << out;
    EXPECT_NE(out.find("received file back.txt 4096\n"), std::string::npos) << out;
    std::string in = answerer.Out();
    EXPECT_NE(in.find("received chat hello  there \n"), std::string::npos) << in;
    EXPECT_NE(in.find("received file f0.bin 0\n"), std::string::npos) << in;
    EXPECT_NE(in.find("received file page.htm 13\n"), std::string::npos) << in;
    EXPECT_NE(in.find("received picture " + std::to_string(jpeg.size()) + "\n"), std::string::npos) << in;
}

TEST(VandrexPhoneTool, WrongAcknowledgementsGiveExitStatusOne) {
    TempFolder t;
    WriteAll(t / "x.txt", "hello");
    int port = FreePort();
    TPeer peer(port);
    TPhoneProcess phone({"--dial", "127.0.0.1:" + std::to_string(port), "--dir", t.Path().string(), "--idle", "1",
                         "--file", (t / "x.txt").string()},
                        t.Path(), "phone");
    ASSERT_TRUE(peer.Accept());
    EXPECT_EQ(peer.Read(19), "sendFILE:x.txt[5]\r\n");
    peer.Send("sendFILE:NO         \r\n");
    EXPECT_EQ(peer.Read(22 + 5), BlockHeader(TTransferKind::File, 5) + "hello");
    peer.Send("FILELeng:OK         \r\n");
    EXPECT_EQ(phone.Wait(), 1) << phone.Err();
    EXPECT_NE(phone.Err().find("sendFILE:NO"), std::string::npos);
    EXPECT_NE(phone.Out().find("sent file x.txt 5\n"), std::string::npos);
}

TEST(VandrexPhoneTool, HostilePeerLeavesNothingOutsideTheFolderAndNoPartialFile) {
    TempFolder t;
    fs::create_directories(t / "in");
    WriteAll(t / "in" / "keep.txt", "old");
    int port = FreePort();
    TPeer peer(port);
    TPhoneProcess phone({"--dial", "127.0.0.1:" + std::to_string(port), "--dir", (t / "in").string(), "--idle", "2",
                         "--timeout", "3"},
                        t.Path(), "phone");
    ASSERT_TRUE(peer.Accept());
    // A path name: stored by its base name only.
    peer.Send("sendFILE:../../escape.txt[3]\r\n");
    EXPECT_EQ(peer.Read(22), RequestAck(TTransferKind::File));
    peer.Send(BlockHeader(TTransferKind::File, 3) + "abc");
    EXPECT_EQ(peer.Read(22), BlockAck(TTransferKind::File));
    // Control characters in the name, then a block far too long.
    peer.Send("sendFILE:ke\x01" "ep.txt[9000]\r\n");
    EXPECT_EQ(peer.Read(22), RequestAck(TTransferKind::File));
    peer.Send("FILELeng:100000     \r\n" + std::string(3000, 'z'));
    // Garbage, then the line is usable again: a chat still arrives. The pauses
    // are well past the 0.3 s of quiet that end dropping a failed transfer's rest.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    peer.Send(vandrex::testing::Pattern(64 * 1024, 5));
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    peer.Send("Chat:still talking");
    // A file cut off by hang-up mid-block.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    peer.Send("sendFILE:keep.txt[5000]\r\n");
    EXPECT_EQ(peer.Read(22), RequestAck(TTransferKind::File));
    peer.Send(BlockHeader(TTransferKind::File, 2048) + std::string(1000, 'q'));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    peer.HangUp();
    EXPECT_EQ(phone.Wait(30), 2) << phone.Err();
    EXPECT_EQ(Listing(t.Path()), (std::set<std::string>{"in", "phone.out", "phone.err"}));
    EXPECT_EQ(Listing(t / "in"), (std::set<std::string>{"escape.txt", "keep.txt"}));
    EXPECT_EQ(ReadAll(t / "in" / "escape.txt"), "abc");
    EXPECT_EQ(ReadAll(t / "in" / "keep.txt"), "old");
    EXPECT_NE(phone.Err().find("Block of 100000 bytes announced, at most 2048 allowed - transfer ended."),
              std::string::npos)
        << phone.Err();
    EXPECT_NE(phone.Out().find("received chat still talking\n"), std::string::npos) << phone.Out();
}

TEST(VandrexPhoneTool, EndlessFileStopsAtItsAnnouncedSize) {
    TempFolder t;
    int port = FreePort();
    TPeer peer(port);
    TPhoneProcess phone({"--dial", "127.0.0.1:" + std::to_string(port), "--dir", t.Path().string(), "--idle", "1",
                         "--timeout", "2"},
                        t.Path(), "phone");
    ASSERT_TRUE(peer.Accept());
    peer.Send("sendFILE:endless.bin[4096]\r\n");
    EXPECT_EQ(peer.Read(22), RequestAck(TTransferKind::File));
    std::string block = BlockHeader(TTransferKind::File, 2048) + std::string(2048, 'e');
    for (int i = 0; i < 2; ++i) {
        peer.Send(block);
        EXPECT_EQ(peer.Read(22), BlockAck(TTransferKind::File));
    }
    // The file is complete; more full blocks are not part of it.
    peer.Send(block + block);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    peer.HangUp();
    EXPECT_EQ(phone.Wait(30), 0) << phone.Err();
    EXPECT_EQ(fs::file_size(t / "endless.bin"), 4096u);
    EXPECT_NE(phone.Out().find("received file endless.bin 4096\n"), std::string::npos);
}

TEST(VandrexPhoneTool, BadArgumentsAndUnreachablePeersFail) {
    TempFolder t;
    TPhoneProcess none({"--chat", "x"}, t.Path(), "none");
    EXPECT_EQ(none.Wait(), 2);
    EXPECT_NE(none.Err().find("give exactly one of --dial and --answer"), std::string::npos);
    TPhoneProcess missing({"--dial", "127.0.0.1:" + std::to_string(FreePort()), "--timeout", "1"}, t.Path(), "missing");
    EXPECT_EQ(missing.Wait(), 2);
    EXPECT_NE(missing.Err().find("Cannot reach"), std::string::npos);
}

// Two copies on a serial line: a pair of pseudo-terminals joined by socat.
TEST(VandrexPhoneTool, TwoCopiesOverASerialLine) {
    if (::access("/usr/bin/socat", X_OK) != 0) GTEST_SKIP() << "socat is not installed";
    TempFolder t;
    fs::create_directories(t / "a");
    fs::create_directories(t / "b");
    std::string data = vandrex::testing::Pattern(20000, 9);
    WriteAll(t / "send.bin", data);
    pid_t socat = ::fork();
    if (socat == 0) {
        std::string a = "pty,raw,echo=0,link=" + (t / "pa").string();
        std::string b = "pty,raw,echo=0,link=" + (t / "pb").string();
        ::execl("/usr/bin/socat", "socat", a.c_str(), b.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 250 && !(fs::exists(t / "pa") && fs::exists(t / "pb")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    {
        TPhoneProcess answerer({"--answer", "--line", (t / "pa").string(), "--dir", (t / "a").string(), "--idle", "2",
                                "--chat", "back"},
                               t.Path(), "answer");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        TPhoneProcess caller({"--dial", (t / "pb").string(), "--dir", (t / "b").string(), "--idle", "3", "--chat",
                              "hi there", "--file", (t / "send.bin").string()},
                             t.Path(), "caller");
        EXPECT_EQ(caller.Wait(60), 0) << caller.Err();
        EXPECT_EQ(answerer.Wait(60), 0) << answerer.Err();
        EXPECT_EQ(ReadAll(t / "a" / "send.bin"), data);
        EXPECT_NE(answerer.Out().find("received chat hi there\n"), std::string::npos) << answerer.Out();
        EXPECT_NE(caller.Out().find("received chat back\n"), std::string::npos) << caller.Out();
    }
    ::kill(socat, SIGTERM);
    ::waitpid(socat, nullptr, 0);
}
