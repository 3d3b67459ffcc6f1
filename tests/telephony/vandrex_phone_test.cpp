// vandrex-phone as a user runs it: two real processes over the network line
// and over two vandrex-modem emulators, the older command-line forms, and a
// hostile peer played by this test over a socket (straight to the tool, or
// through a modem emulator's line side).

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
#include "tests/telephony/freeport.h"

using namespace vandrex;
using namespace vandrex::dataphone;
namespace fs = std::filesystem;

namespace {

const std::string kTool = VANDREX_PHONE_TOOL;
const std::string kModem = VANDREX_MODEM_TOOL;

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

using vandrex::test::FreePort;

// A running vandrex-phone with its output going to files.
class TPhoneProcess {
public:
    TPhoneProcess(const std::vector<std::string>& args, const fs::path& folder, const std::string& tag,
                  const std::vector<std::string>& environment = {}, const std::string& program = kTool) {
        out_ = folder / (tag + ".out");
        err_ = folder / (tag + ".err");
        pid_ = ::fork();
        if (pid_ == 0) {
            for (const auto& entry : environment) ::putenv(const_cast<char*>(entry.c_str()));
            int o = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int e = ::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int n = ::open("/dev/null", O_RDONLY);
            ::dup2(n, 0);
            ::dup2(o, 1);
            ::dup2(e, 2);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(program.c_str()));
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
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
    // True once text shows on the error output (or standard output).
    bool Shows(const std::string& text, int seconds = 15) const {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (Err().find(text) != std::string::npos || Out().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

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
    TPeer() = default;
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
        if (listener_ >= 0) ::close(listener_);
    }
    // Calls a modem emulator's line side, as a far modem would.
    bool Dial(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        return ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
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

// Settings and lock files of the line layer kept inside the test's folder.
std::vector<std::string> LineEnvironment(const TempFolder& t, std::vector<std::string> more = {}) {
    more.push_back("VANDREX_LINE_SETTINGS=" + (t / "line.ini").string());
    more.push_back("VANDREX_LOCK_DIR=" + t.Path().string());
    return more;
}

// A vandrex-modem on a link in the folder, taking calls on its port.
class TModem {
public:
    TModem(const TempFolder& t, const std::string& name, int port)
        : link_((t / name).string()),
          process_({link_, "--listen", "127.0.0.1:" + std::to_string(port)}, t.Path(), name, {}, kModem) {
        ready_ = process_.Shows("ready on");
    }
    bool Ready() const { return ready_; }
    const std::string& Link() const { return link_; }

private:
    std::string link_;
    TPhoneProcess process_;
    bool ready_ = false;
};

const std::vector<std::size_t> kSizes = {0, 1, 1023, 1024, 2047, 2048, 2049, 5000, 100000};

// Two copies on one call: chats with blanks, every file size and a picture
// each way, and a four-character extension. The answering copy is started
// with answerArgs and answerEnv, the caller with callerArgs and callerEnv;
// the items and folders are added here.
void ExchangeEverything(const TempFolder& t, std::vector<std::string> answerArgs, std::vector<std::string> callerArgs,
                        const std::vector<std::string>& answerEnv, const std::vector<std::string>& callerEnv) {
    fs::create_directories(t / "a");
    fs::create_directories(t / "b");
    fs::create_directories(t / "out");
    answerArgs.insert(answerArgs.end(), {"--dir", (t / "a").string(), "--idle", "3", "--chat", "reply  with blanks "});
    callerArgs.insert(callerArgs.end(), {"--dir", (t / "b").string(), "--idle", "5", "--chat", "hello  there "});
    for (auto size : kSizes) {
        for (const char* side : {"c", "a"}) {
            auto name = side + std::to_string(size) + ".bin";
            WriteAll(t / "out" / name, vandrex::testing::Pattern(size, static_cast<unsigned>(size) + (*side == 'c' ? 1 : 7)));
            auto& args = *side == 'c' ? callerArgs : answerArgs;
            args.insert(args.end(), {"--file", (t / "out" / name).string()});
        }
    }
    WriteAll(t / "out" / "page.html", "<html></html>");
    callerArgs.insert(callerArgs.end(), {"--file", (t / "out" / "page.html").string()});
    std::string jpeg = Jpeg();
    WriteAll(t / "out" / "shot.jpg", jpeg);
    callerArgs.insert(callerArgs.end(), {"--picture", (t / "out" / "shot.jpg").string()});
    answerArgs.insert(answerArgs.end(), {"--picture", (t / "out" / "shot.jpg").string()});

    TPhoneProcess answerer(answerArgs, t.Path(), "answer", answerEnv);
    ASSERT_TRUE(answerer.Shows("waiting for a call")) << answerer.Err();
    TPhoneProcess caller(callerArgs, t.Path(), "caller", callerEnv);
    int callerStatus = caller.Wait(120);
    int answerStatus = answerer.Wait(30);
    ASSERT_EQ(callerStatus, 0) << caller.Err();
    ASSERT_EQ(answerStatus, 0) << answerer.Err();

    std::string out = caller.Out();
    std::string in = answerer.Out();
    for (auto size : kSizes) {
        auto there = "c" + std::to_string(size) + ".bin";
        auto back = "a" + std::to_string(size) + ".bin";
        EXPECT_EQ(ReadAll(t / "a" / there), ReadAll(t / "out" / there)) << there;
        EXPECT_EQ(ReadAll(t / "b" / back), ReadAll(t / "out" / back)) << back;
        EXPECT_NE(out.find("sent file " + there + " " + std::to_string(size) + "\n"), std::string::npos) << out;
        EXPECT_NE(in.find("received file " + there + " " + std::to_string(size) + "\n"), std::string::npos) << in;
        EXPECT_NE(in.find("sent file " + back + " " + std::to_string(size) + "\n"), std::string::npos) << in;
        EXPECT_NE(out.find("received file " + back + " " + std::to_string(size) + "\n"), std::string::npos) << out;
    }
    // The four-character extension is cut to three on the receiving side.
    EXPECT_EQ(ReadAll(t / "a" / "page.htm"), "<html></html>");
    EXPECT_NE(in.find("received file page.htm 13\n"), std::string::npos) << in;
    EXPECT_EQ(ReadAll(t / "a" / "Snapshot.jpg"), jpeg);
    EXPECT_EQ(ReadAll(t / "b" / "Snapshot.jpg"), jpeg);
    const std::string picture = "picture " + std::to_string(jpeg.size()) + "\n";
    EXPECT_NE(out.find("sent " + picture), std::string::npos) << out;
    EXPECT_NE(out.find("received " + picture), std::string::npos) << out;
    EXPECT_NE(in.find("received " + picture), std::string::npos) << in;
    EXPECT_NE(out.find("sent chat hello  there \n"), std::string::npos) << out;
    EXPECT_NE(out.find("received chat reply  with blanks \n"), std::string::npos) << out;
    EXPECT_NE(in.find("received chat hello  there \n"), std::string::npos) << in;
    EXPECT_NE(in.find("sent chat reply  with blanks \n"), std::string::npos) << in;
}

}  // namespace

TEST(VandrexPhoneTool, TwoCopiesExchangeEverythingOverTheNetworkLine) {
    TempFolder t;
    const std::string address = "127.0.0.1:" + std::to_string(FreePort());
    // Both copies see the same setting: only the answering one may take the port.
    auto env = LineEnvironment(t, {"VANDREX_NETWORK_LINE=" + address});
    ExchangeEverything(t, {"--answer", "--line", "0"}, {"--dial", address}, env, env);
}

TEST(VandrexPhoneTool, TwoCopiesExchangeEverythingOverTwoModems) {
    TempFolder t;
    const int portA = FreePort();
    TModem a(t, "modemA", portA);
    TModem b(t, "modemB", FreePort());
    ASSERT_TRUE(a.Ready() && b.Ready());
    // The first modem is line 1 whether or not the network line is on.
    ExchangeEverything(t, {"--answer", "--line", "1"}, {"--dial", "127.0.0.1:" + std::to_string(portA), "--line", "1"},
                       LineEnvironment(t, {"VANDREX_MODEMS=" + a.Link(), "VANDREX_NETWORK_LINE=off"}),
                       LineEnvironment(t, {"VANDREX_MODEMS=" + b.Link()}));
}

// A caller started first dials again until the answering copy is there, and
// its own network line, under the same setting, leaves that port alone.
TEST(VandrexPhoneTool, ACallerStartedFirstWaitsForTheAnswer) {
    TempFolder t;
    const std::string address = "127.0.0.1:" + std::to_string(FreePort());
    auto env = LineEnvironment(t, {"VANDREX_NETWORK_LINE=" + address});
    WriteAll(t / "early.txt", "first in line");
    fs::create_directories(t / "in");
    TPhoneProcess caller({"--dial", address, "--idle", "1", "--file", (t / "early.txt").string()}, t.Path(), "caller",
                         env);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    TPhoneProcess answerer({"--answer", "--dir", (t / "in").string(), "--idle", "2"}, t.Path(), "answer", env);
    EXPECT_EQ(caller.Wait(), 0) << caller.Err();
    EXPECT_EQ(answerer.Wait(), 0) << answerer.Err();
    EXPECT_EQ(ReadAll(t / "in" / "early.txt"), "first in line");
}

// The forms other programs and scripts already use: answering on an address
// or a bare port of the network line.
TEST(VandrexPhoneTool, OlderAnsweringFormsStillWork) {
    TempFolder t;
    for (std::string line : {std::string("127.0.0.1:") + std::to_string(FreePort()), std::to_string(FreePort())}) {
        const std::string tag = line.find(':') == std::string::npos ? "port" : "address";
        fs::create_directories(t / tag);
        WriteAll(t / "x.txt", "old form");
        TPhoneProcess answerer({"--answer", "--line", line, "--dir", (t / tag).string(), "--idle", "2"}, t.Path(),
                               tag + "-answer", LineEnvironment(t));
        ASSERT_TRUE(answerer.Shows("waiting for a call")) << answerer.Err();
        const std::string number = line.find(':') == std::string::npos ? "127.0.0.1:" + line : line;
        TPhoneProcess caller({"--dial", number, "--idle", "1", "--file", (t / "x.txt").string()}, t.Path(),
                             tag + "-caller", LineEnvironment(t));
        EXPECT_EQ(caller.Wait(), 0) << caller.Err();
        EXPECT_EQ(answerer.Wait(), 0) << answerer.Err();
        EXPECT_EQ(ReadAll(t / tag / "x.txt"), "old form") << tag;
    }
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

// The answering side on a modem, with this test as the far modem: a wrong
// acknowledgement gives 1, the far end hanging up in the middle of a file 2.
TEST(VandrexPhoneTool, AcknowledgementsAndHangUpOverAModem) {
    TempFolder t;
    const int port = FreePort();
    TModem modem(t, "modem", port);
    ASSERT_TRUE(modem.Ready());
    auto env = LineEnvironment(t, {"VANDREX_MODEMS=" + modem.Link(), "VANDREX_NETWORK_LINE=off"});
    WriteAll(t / "x.txt", "hello");
    {
        TPhoneProcess phone({"--answer", "--line", "1", "--dir", t.Path().string(), "--idle", "1", "--file",
                             (t / "x.txt").string()},
                            t.Path(), "wrong", env);
        ASSERT_TRUE(phone.Shows("waiting for a call")) << phone.Err();
        TPeer peer;
        ASSERT_TRUE(peer.Dial(port));
        EXPECT_EQ(peer.Read(19, 15000), "sendFILE:x.txt[5]\r\n");
        peer.Send(RequestAck(TTransferKind::File));
        EXPECT_EQ(peer.Read(22 + 5), BlockHeader(TTransferKind::File, 5) + "hello");
        peer.Send("FILELeng:BAD        \r\n");
        EXPECT_EQ(phone.Wait(), 1) << phone.Err();
        EXPECT_NE(phone.Err().find("wrong acknowledgement \"FILELeng:BAD"), std::string::npos) << phone.Err();
        EXPECT_NE(phone.Out().find("sent file x.txt 5\n"), std::string::npos) << phone.Out();
    }
    {
        const std::string big = vandrex::testing::Pattern(100000, 3);
        WriteAll(t / "big.bin", big);
        TPhoneProcess phone({"--answer", "--line", "1", "--dir", t.Path().string(), "--idle", "1", "--file",
                             (t / "big.bin").string()},
                            t.Path(), "dropped", env);
        ASSERT_TRUE(phone.Shows("waiting for a call")) << phone.Err();
        TPeer peer;
        ASSERT_TRUE(peer.Dial(port));
        EXPECT_EQ(peer.Read(26, 15000), "sendFILE:big.bin[100000]\r\n");
        peer.Send(RequestAck(TTransferKind::File));
        EXPECT_TRUE(peer.Read(22 + 2048) == BlockHeader(TTransferKind::File, 2048) + big.substr(0, 2048));
        peer.Send(BlockAck(TTransferKind::File));
        peer.Read(100);
        peer.HangUp();
        EXPECT_EQ(phone.Wait(), 2) << phone.Err();
        EXPECT_EQ(phone.Out().find("sent file"), std::string::npos) << phone.Out();
    }
}

TEST(VandrexPhoneTool, LinesThatCannotBeUsedFailWithTheirReason) {
    TempFolder t;
    struct TCase {
        std::vector<std::string> args, env;
        std::string message;
    } cases[] = {
        {{"--dial", "127.0.0.1:1", "--line", "3"}, {"VANDREX_MODEMS=" + (t / "m1").string()},
         "There is no modem 3: 1 modem(s) found"},
        {{"--answer", "--line", "0"}, {"VANDREX_NETWORK_LINE=off"}, "The network line is off"},
        {{"--answer", "--line", "network"}, {}, "\"network\" is not a line"},
        {{"--answer", "--timeout", "1"}, {"VANDREX_NETWORK_LINE=127.0.0.1:" + std::to_string(FreePort())},
         "No call on the network line within 1 s"},
        {{"--dial", "127.0.0.1:1", "--line", "1", "--timeout", "2"},
         {"VANDREX_MODEMS=" + (t / "absent").string(), "VANDREX_NETWORK_LINE=off"},
         "Cannot open modem 1"},
    };
    int n = 0;
    for (const auto& c : cases) {
        TPhoneProcess phone(c.args, t.Path(), "case" + std::to_string(n++), LineEnvironment(t, c.env));
        EXPECT_EQ(phone.Wait(), 2) << c.message;
        EXPECT_NE(phone.Err().find(c.message), std::string::npos) << phone.Err();
    }
    // A port held by another program: the answering copy says so rather
    // than waiting for calls that cannot reach it.
    {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, 1);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        const int held = ntohs(a.sin_port);
        TPhoneProcess phone({"--answer"}, t.Path(), "held",
                            LineEnvironment(t, {"VANDREX_NETWORK_LINE=127.0.0.1:" + std::to_string(held)}));
        EXPECT_EQ(phone.Wait(), 2);
        EXPECT_NE(phone.Err().find("Cannot listen on \"127.0.0.1:" + std::to_string(held) + "\""), std::string::npos)
            << phone.Err();
        ::close(fd);
    }
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
