// TDataPhoneStore on a real folder, alone and behind TDataPhone fed by a
// hostile peer: nothing outside the folder, nothing through a link, no
// partial files, the old file kept when a transfer fails.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "imaging/jpegfile.h"
#include "platform/exceptions.h"
#include "telephony/dataphonestore.h"
#include "tests/telephony/dataphone_support.h"

using namespace vandrex;
using namespace vandrex::dataphone;
using namespace vandrex::testing;
namespace fs = std::filesystem;
using TKind = TDataPhoneEvent::TKind;

namespace {

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/vandrex-dataphone-XXXXXX";
        path_ = ::mkdtemp(pattern);
        fs::create_directory(path_ / "work");
    }
    ~TempFolder() { fs::remove_all(path_); }
    fs::path Work() const { return path_ / "work"; }
    fs::path Root() const { return path_; }

private:
    fs::path path_;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

std::set<std::string> Listing(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

std::string SmallJpeg(int width, int height) {
    TBitmap picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            auto* p = picture.Pixel(x, y);
            p[0] = static_cast<std::uint8_t>(x * 7);
            p[1] = static_cast<std::uint8_t>(y * 5);
            p[2] = 90;
        }
    auto bytes = EncodeJpeg(picture);
    return std::string(bytes.begin(), bytes.end());
}

// A phone storing into a real folder, with the peer played by the test.
struct TStoringPhone {
    TempFolder folder;
    TManualClock clock;
    TDataPhoneStore store{folder.Work().string()};
    TDataPhone phone{store, clock.Clock()};
    TStoringPhone() {
        phone.SetConnected(true);
        store.SetPictureCheck([](std::string_view jpeg) {
            DecodeJpeg(std::span(reinterpret_cast<const std::uint8_t*>(jpeg.data()), jpeg.size()));
        });
    }
    std::string Feed(std::string_view bytes) {
        phone.Feed(bytes);
        return phone.TakeOutput();
    }
    // Announces a file, accepts it and sends its bytes in full blocks.
    void ReceiveFile(const std::string& wireName, const std::string& data) {
        Feed("sendFILE:" + wireName + "[" + std::to_string(data.size()) + "]\r\n");
        ASSERT_TRUE(phone.AcceptFile()) << wireName;
        std::string wire;
        for (std::size_t i = 0; i < data.size(); i += kFileBlockSize) {
            auto block = data.substr(i, kFileBlockSize);
            wire += BlockHeader(TTransferKind::File, block.size()) + block;
        }
        if (data.size() % kFileBlockSize == 0) wire += BlockHeader(TTransferKind::File, 0);
        Feed(wire);
    }
    void ReceivePicture(const std::string& jpeg) {
        Feed(PictureRequest());
        std::string wire;
        for (std::size_t i = 0; i < jpeg.size(); i += kPictureBlockSize) {
            auto block = jpeg.substr(i, kPictureBlockSize);
            wire += BlockHeader(TTransferKind::Picture, block.size()) + block;
        }
        if (jpeg.size() % kPictureBlockSize == 0) wire += BlockHeader(TTransferKind::Picture, 0);
        Feed(wire);
    }
    std::vector<std::string> Stored(TKind kind) { return Texts(phone.TakeEvents(), kind); }
};

}  // namespace

TEST(DataPhoneStore, HostileNamesStayInsideTheFolder) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"../../outside.txt", "outside.txt"},
        {"..\\..\\win.txt", "win.txt"},
        {"/etc/passwd", "passwd"},
        {"a\x01" "b\x1b" "c.txt", "abc.txt"},
        {"..", "Received file"},
        {" . ", "Received file"},
        {"Your DataBase.DAT", "_Your DataBase.DAT"},
        {"SNAPSHOT.JPG", "_SNAPSHOT.JPG"},
        {"caf\xE9.txt", "caf\xC3\xA9.txt"},  // Windows-1252 on the wire, UTF-8 on disc
        {std::string(300, 'n') + ".txt", std::string(76, 'n') + ".txt"},
    };
    for (const auto& [wire, stored] : cases) {
        SCOPED_TRACE(wire);
        TStoringPhone p;
        p.ReceiveFile(wire, "data of " + wire);
        auto files = p.Stored(TKind::FileReceived);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0], stored);
        EXPECT_EQ(Listing(p.folder.Work()), std::set<std::string>{stored});
        EXPECT_EQ(ReadAll(p.folder.Work() / stored), "data of " + wire);
        EXPECT_EQ(Listing(p.folder.Root()), std::set<std::string>{"work"});
    }
}

TEST(DataPhoneStore, NulInTheNameCutsTheRequest) {
    TStoringPhone p;
    // The NUL cuts the request before its size: it is not answered.
    EXPECT_EQ(p.Feed(std::string("sendFILE:evil\0.txt[4]\r\n", 23)), "");
    EXPECT_FALSE(p.phone.FileAnnounced());
    EXPECT_TRUE(Listing(p.folder.Work()).empty());
}

TEST(DataPhoneStore, FailedTransferKeepsTheOldFileAndLeavesNoPartialOne) {
    TStoringPhone p;
    WriteAll(p.folder.Work() / "notes.txt", "old contents");
    p.Feed("sendFILE:notes.txt[5000]\r\n");
    ASSERT_TRUE(p.phone.AcceptFile());
    p.Feed(BlockHeader(TTransferKind::File, 2048) + Pattern(2048));
    // Hang-up mid-block.
    p.Feed(BlockHeader(TTransferKind::File, 2048) + Pattern(1000));
    p.phone.SetConnected(false);
    EXPECT_EQ(ReadAll(p.folder.Work() / "notes.txt"), "old contents");
    EXPECT_EQ(Listing(p.folder.Work()), std::set<std::string>{"notes.txt"});
}

TEST(DataPhoneStore, CompleteTransferReplacesTheOldFile) {
    TStoringPhone p;
    WriteAll(p.folder.Work() / "notes.txt", "old contents");
    std::string data = Pattern(4096);
    p.ReceiveFile("notes.txt", data);
    EXPECT_EQ(ReadAll(p.folder.Work() / "notes.txt"), data);
    EXPECT_EQ(Listing(p.folder.Work()), std::set<std::string>{"notes.txt"});
}

TEST(DataPhoneStore, NeverWritesThroughALink) {
    TStoringPhone p;
    WriteAll(p.folder.Root() / "victim.txt", "precious");
    fs::create_symlink(p.folder.Root() / "victim.txt", p.folder.Work() / "link.txt");
    p.ReceiveFile("link.txt", "replacement");
    EXPECT_EQ(ReadAll(p.folder.Root() / "victim.txt"), "precious");
    EXPECT_FALSE(fs::is_symlink(p.folder.Work() / "link.txt"));
    EXPECT_EQ(ReadAll(p.folder.Work() / "link.txt"), "replacement");
}

TEST(DataPhoneStore, FolderOfTheSameNameFailsClearly) {
    TStoringPhone p;
    fs::create_directory(p.folder.Work() / "dir.txt");
    p.ReceiveFile("dir.txt", "x");
    auto events = p.phone.TakeEvents();
    auto failed = Texts(events, TKind::TransferFailed);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].rfind("Cannot store \"dir.txt\"", 0), 0u) << failed[0];
    EXPECT_EQ(Listing(p.folder.Work()), std::set<std::string>{"dir.txt"});
    EXPECT_TRUE(p.phone.View().SnapshotButtonEnabled);
}

TEST(DataPhoneStore, StoresIntoItsFolderWhateverTheCurrentDirectory) {
    TStoringPhone p;
    auto before = fs::current_path();
    fs::current_path(p.folder.Root());
    p.ReceiveFile("here.txt", "x");
    fs::current_path(before);
    EXPECT_TRUE(fs::exists(p.folder.Work() / "here.txt"));
    EXPECT_FALSE(fs::exists(p.folder.Root() / "here.txt"));
}

TEST(DataPhoneStore, PictureReplacesSnapshotOnlyWhenItDecodes) {
    TStoringPhone p;
    std::string good = SmallJpeg(64, 48);
    p.ReceivePicture(good);
    EXPECT_EQ(p.Stored(TKind::PictureReceived), std::vector<std::string>{"Snapshot.jpg"});
    EXPECT_EQ(ReadAll(p.folder.Work() / "Snapshot.jpg"), good);

    // Not a picture at all.
    p.ReceivePicture(Pattern(3000));
    auto failed = p.Stored(TKind::TransferFailed);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0], "The received picture is not a JPEG picture - the old picture is kept.");
    EXPECT_EQ(ReadAll(p.folder.Work() / "Snapshot.jpg"), good);

    // A valid header over a truncated body: only the decoder notices. The
    // failed picture was received in full, so the next item is not dropped.
    p.ReceivePicture(good.substr(0, good.size() / 2));
    failed = p.Stored(TKind::TransferFailed);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0], "unrecognized JPEG");
    EXPECT_EQ(ReadAll(p.folder.Work() / "Snapshot.jpg"), good);
    EXPECT_EQ(Listing(p.folder.Work()), std::set<std::string>{"Snapshot.jpg"});
    EXPECT_EQ(p.phone.View().Counters.PicturesInCount, 1);
    EXPECT_TRUE(p.phone.View().SendButtonEnabled);
}

TEST(DataPhoneStore, PictureDeclaringMoreThan16MegapixelsIsRefusedBeforeDecoding) {
    std::string jpeg = SmallJpeg(16, 16);
    // Rewrite the frame header to declare 5000 x 4000 pixels.
    auto sof = jpeg.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    jpeg[sof + 5] = static_cast<char>(4000 >> 8);
    jpeg[sof + 6] = static_cast<char>(4000 & 0xFF);
    jpeg[sof + 7] = static_cast<char>(5000 >> 8);
    jpeg[sof + 8] = static_cast<char>(5000 & 0xFF);
    EXPECT_THROW(CheckPictureHeader(jpeg), EInvalidGraphic);
    TStoringPhone p;
    bool decoderRan = false;
    p.store.SetPictureCheck([&](std::string_view) { decoderRan = true; });
    p.ReceivePicture(jpeg);
    auto failed = p.Stored(TKind::TransferFailed);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0], "The received picture declares 5000 x 4000 pixels, more than 16 megapixels - the old picture is kept.");
    EXPECT_FALSE(decoderRan);
    EXPECT_FALSE(fs::exists(p.folder.Work() / "Snapshot.jpg"));
    // Exactly 16 megapixels passes the header check.
    jpeg[sof + 5] = static_cast<char>(4000 >> 8);
    jpeg[sof + 6] = static_cast<char>(4000 & 0xFF);
    jpeg[sof + 7] = static_cast<char>(4000 >> 8);
    jpeg[sof + 8] = static_cast<char>(4000 & 0xFF);
    EXPECT_NO_THROW(CheckPictureHeader(jpeg));
}

TEST(DataPhoneStore, FileSourceReadsTheWholeFileAndReportsItsSize) {
    TempFolder folder;
    std::string data = Pattern(5000);
    WriteAll(folder.Work() / "send.bin", data);
    TDataPhoneFileSource source((folder.Work() / "send.bin").string());
    EXPECT_EQ(source.Size(), 5000);
    std::string back(6000, '\0');
    EXPECT_EQ(source.Read(back.data(), 2048), 2048u);
    EXPECT_EQ(source.Read(back.data() + 2048, 4000), 2952u);
    back.resize(5000);
    EXPECT_EQ(back, data);
    EXPECT_THROW(TDataPhoneFileSource((folder.Work() / "missing").string()), EInOutError);
    EXPECT_THROW(TDataPhoneFileSource(folder.Work().string()), EInOutError);
}

TEST(DataPhoneStore, TwoPhonesCopyRealFilesBothWays) {
    TempFolder left, right;
    TManualClock clock;
    TDataPhoneStore leftStore(left.Work().string()), rightStore(right.Work().string());
    TDataPhone a(leftStore, clock.Clock()), b(rightStore, clock.Clock());
    a.SetConnected(true);
    b.SetConnected(true);
    auto pump = [&] {
        for (;;) {
            auto x = a.TakeOutput(), y = b.TakeOutput();
            if (x.empty() && y.empty()) return;
            b.Feed(x);
            a.Feed(y);
        }
    };
    std::string one = Pattern(100000, 1), two = Pattern(2049, 2);
    WriteAll(left.Work() / "one.bin", one);
    WriteAll(right.Work() / "two.bin", two);
    auto s1 = std::make_unique<TDataPhoneFileSource>((left.Work() / "one.bin").string());
    auto size1 = s1->Size();
    ASSERT_TRUE(a.SendFile("one.bin", size1, std::move(s1)));
    pump();
    ASSERT_TRUE(b.AcceptFile());
    pump();
    auto s2 = std::make_unique<TDataPhoneFileSource>((right.Work() / "two.bin").string());
    auto size2 = s2->Size();
    ASSERT_TRUE(b.SendFile("two.bin", size2, std::move(s2)));
    pump();
    ASSERT_TRUE(a.AcceptFile());
    pump();
    EXPECT_EQ(ReadAll(right.Work() / "one.bin"), one);
    EXPECT_EQ(ReadAll(left.Work() / "two.bin"), two);
    EXPECT_EQ(Listing(right.Work()), (std::set<std::string>{"one.bin", "two.bin"}));
}
