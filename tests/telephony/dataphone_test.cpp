// TDataPhone: the sending and receiving steps fed bytes and time, checked
// byte for byte on the wire.

#include <gtest/gtest.h>

#include "tests/telephony/dataphone_support.h"

using namespace vandrex;
using namespace vandrex::dataphone;
using namespace vandrex::testing;
using TKind = TDataPhoneEvent::TKind;

namespace {

std::string FileBlocks(const std::string& data, bool closing) {
    std::string wire;
    for (std::size_t i = 0; i < data.size(); i += kFileBlockSize) {
        auto block = data.substr(i, kFileBlockSize);
        wire += BlockHeader(TTransferKind::File, block.size()) + block;
    }
    if (closing) wire += BlockHeader(TTransferKind::File, 0);
    return wire;
}

// A single phone with the far end played by the test.
struct TOnePhone {
    TManualClock clock;
    TMemorySink sink;
    TDataPhone phone{sink, clock.Clock()};
    TOnePhone() { phone.SetConnected(true); }
    std::string Feed(std::string_view bytes) {
        phone.Feed(bytes);
        return phone.TakeOutput();
    }
    void Later(std::int64_t ms) {
        clock.now += ms;
        phone.Tick();
    }
};

}  // namespace

// --- Chat -------------------------------------------------------------------

TEST(DataPhoneChat, FiftyCharactersGoOutAs55BytesWithoutLineEnd) {
    TPhonePair p;
    std::string text = "The quick brown fox jumps over the lazy dog 1234567";
    text.resize(50);
    ASSERT_TRUE(p.a.SendChat(text));
    p.Pump();
    EXPECT_EQ(p.aToB, "Chat:" + text);
    EXPECT_EQ(p.aToB.size(), 55u);
    EXPECT_EQ(p.a.View().Counters.BytesOutTotal, 55);
    p.Quiet(TDataPhone::kChatQuietMs);
    auto lines = Texts(p.b.TakeEvents(), TKind::ChatReceived);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], text);
    EXPECT_EQ(p.b.View().Counters.BytesInTotal, 55);
}

TEST(DataPhoneChat, EmptyEditStillSendsThePrefix) {
    TPhonePair p;
    p.a.SendChat("");
    p.Pump();
    EXPECT_EQ(p.aToB, "Chat:");
    p.Quiet(TDataPhone::kChatQuietMs);
    EXPECT_EQ(Texts(p.b.TakeEvents(), TKind::ChatReceived), std::vector<std::string>{""});
}

TEST(DataPhoneChat, BlanksAreKeptAndBackToBackChatsAreTwoLines) {
    for (std::size_t piece : {0u, 1u, 3u}) {
        TPhonePair p;
        p.piece = piece;
        p.a.SendChat("  two  blanks  ");
        p.a.SendChat("second");
        p.Pump();
        // The second line ends the first at once; only the last waits for quiet.
        EXPECT_EQ(Texts(p.b.TakeEvents(), TKind::ChatReceived), std::vector<std::string>{"  two  blanks  "})
            << piece;
        p.Quiet(TDataPhone::kChatQuietMs - 1);
        EXPECT_TRUE(Texts(p.b.TakeEvents(), TKind::ChatReceived).empty());
        p.Quiet(1);
        EXPECT_EQ(Texts(p.b.TakeEvents(), TKind::ChatReceived), std::vector<std::string>{"second"});
        EXPECT_EQ(p.b.View().Counters.BytesInTotal, 20 + 11);
    }
}

TEST(DataPhoneChat, TailThatMayStartAKeywordIsHeldUntilQuiet) {
    TOnePhone one;
    one.Feed("Chat:see you sen");
    auto events = one.phone.TakeEvents();
    EXPECT_TRUE(Texts(events, TKind::ChatReceived).empty());
    one.Later(TDataPhone::kChatQuietMs);
    EXPECT_EQ(Texts(one.phone.TakeEvents(), TKind::ChatReceived), std::vector<std::string>{"see you sen"});
}

TEST(DataPhoneChat, NulCutsTheTextAndHangUpEndsTheLine) {
    TOnePhone one;
    one.Feed(std::string("Chat:abc\0def", 12));
    one.phone.SetConnected(false);
    EXPECT_EQ(Texts(one.phone.TakeEvents(), TKind::ChatReceived), std::vector<std::string>{"abc"});
}

TEST(DataPhoneChat, ChatBeforeARequestEndsAtTheRequest) {
    TOnePhone one;
    std::string reply = one.Feed("Chat:hellosendFILE:a.txt[3]\r\n");
    EXPECT_EQ(reply, "");  // a file waits for "Receive"
    auto events = one.phone.TakeEvents();
    EXPECT_EQ(Texts(events, TKind::ChatReceived), std::vector<std::string>{"hello"});
    EXPECT_EQ(Texts(events, TKind::FileAnnounced), std::vector<std::string>{"a.txt"});
}

TEST(DataPhoneChat, NotConnectedSendsNothing) {
    TManualClock clock;
    TMemorySink sink;
    TDataPhone phone(sink, clock.Clock());
    EXPECT_FALSE(phone.SendChat("x"));
    EXPECT_EQ(phone.TakeOutput(), "");
    phone.Feed("Chat:x");
    clock.now += 1000;
    phone.Tick();
    EXPECT_TRUE(Texts(phone.TakeEvents(), TKind::ChatReceived).empty());
}

TEST(DataPhoneChat, EndlessLineIsShownInPiecesWithBoundedMemory) {
    TOnePhone one;
    one.Feed("Chat:");
    for (int i = 0; i < 100; ++i) one.Feed(std::string(1000, 'x'));
    auto lines = Texts(one.phone.TakeEvents(), TKind::ChatReceived);
    ASSERT_EQ(lines.size(), 100000 / TDataPhone::kMaxChatLine);
    for (auto& l : lines) EXPECT_EQ(l.size(), TDataPhone::kMaxChatLine);
}

// --- Files between two phones ---------------------------------------------------

TEST(DataPhoneFile, FiveThousandBytesGoAs2048_2048_904) {
    TPhonePair p;
    std::string data = Pattern(5000);
    ASSERT_TRUE(p.a.SendFile("report.txt", 5000, Source(data)));
    p.Pump();
    EXPECT_EQ(p.aToB, "sendFILE:report.txt[5000]\r\n");
    ASSERT_TRUE(p.b.FileAnnounced());
    EXPECT_EQ(p.b.View().Panel0, "New Datafile is Coming in [Receive ?]");
    EXPECT_TRUE(p.b.View().Lamp(TLamp::Receive).Lit);
    EXPECT_EQ(p.b.View().Lamp(TLamp::Receive).Color, TLampColor::Red);
    ASSERT_TRUE(p.b.AcceptFile());
    p.Pump();
    EXPECT_EQ(p.aToB, "sendFILE:report.txt[5000]\r\n" + FileBlocks(data, false));
    EXPECT_EQ(p.aToB.substr(27, 22), "FILELeng:2048       \r\n");
    EXPECT_EQ(p.bToA, RequestAck(TTransferKind::File) + BlockAck(TTransferKind::File) +
                          BlockAck(TTransferKind::File) + BlockAck(TTransferKind::File));
    EXPECT_EQ(p.sinkB.stored["report.txt"], data);

    EXPECT_EQ(Texts(p.a.TakeEvents(), TKind::FileSent), std::vector<std::string>{"report.txt"});
    const auto& sent = p.a.View();
    EXPECT_EQ(sent.Counters.BytesOutTotal, 5000);
    EXPECT_EQ(sent.Counters.FilesOutCount, 1);
    EXPECT_EQ(sent.Panel0, "5000 Bytes Send Succesfully");
    EXPECT_TRUE(sent.Lamp(TLamp::Send).Lit);  // stays lit until the call ends
    EXPECT_FALSE(sent.Lamp(TLamp::Receive).Lit);
    EXPECT_TRUE(sent.SnapshotButtonEnabled);
    EXPECT_EQ(sent.FileTransferStatus, "5000");
    EXPECT_EQ(sent.ProgressPosition, 0);

    const auto& got = p.b.View();
    // The short last block is stored but not counted.
    EXPECT_EQ(got.Counters.BytesInTotal, 4096);
    EXPECT_EQ(got.Counters.FilesInCount, 1);
    EXPECT_EQ(got.Panel0, "5000 Bytes Received Succesfully  - Time elapsed: 0 ml.sec.");
    EXPECT_FALSE(got.Lamp(TLamp::Receive).Lit);
    EXPECT_TRUE(got.SnapshotButtonEnabled);
    EXPECT_EQ(p.b.DiscardedBytes(), 0);
    p.a.SetConnected(false);
    EXPECT_FALSE(p.a.View().Lamp(TLamp::Send).Lit);
    p.b.ResetCounters();
    EXPECT_EQ(p.b.View().Counters, TDataPhoneCounters{});
}

TEST(DataPhoneFile, EverySizeArrivesIdenticalInPiecesOrWhole) {
    for (std::size_t size : {0u, 1u, 1023u, 1024u, 2047u, 2048u, 2049u, 4096u, 5000u, 100000u}) {
        for (std::size_t piece : {0u, 1u, 7u}) {
            if (size == 100000u && piece == 1u) continue;  // covered by 7
            TPhonePair p;
            p.piece = piece;
            std::string data = Pattern(size, static_cast<unsigned>(size));
            ASSERT_TRUE(p.b.SendFile("f.bin", static_cast<std::int64_t>(size), Source(data)));
            p.Pump();
            ASSERT_TRUE(p.a.AcceptFile()) << size;
            p.Pump();
            SCOPED_TRACE(::testing::Message() << size << " bytes in pieces of " << piece);
            EXPECT_FALSE(p.a.Busy());
            EXPECT_FALSE(p.b.Busy());
            EXPECT_EQ(p.sinkA.stored["f.bin"], data);
            EXPECT_EQ(p.a.View().Counters.FilesInCount, 1);
            EXPECT_EQ(p.b.View().Counters.FilesOutCount, 1);
            // Exact multiples and empty files end with one 0-length block.
            bool closing = size % kFileBlockSize == 0;
            EXPECT_EQ(p.bToA, "sendFILE:f.bin[" + std::to_string(size) + "]\r\n" + FileBlocks(data, closing));
            std::size_t blocks = size / kFileBlockSize + 1;
            EXPECT_EQ(p.aToB.size(), kControlLineSize * (1 + blocks));
            EXPECT_EQ(p.a.DiscardedBytes(), 0);
            EXPECT_EQ(p.b.WrongAcknowledgements(), 0);
        }
    }
}

TEST(DataPhoneFile, ReceiveWithNothingAnnouncedDoesNothing) {
    TOnePhone one;
    EXPECT_FALSE(one.phone.AcceptFile());
    EXPECT_EQ(one.phone.TakeOutput(), "");
    EXPECT_EQ(one.sink.begun, 0);
    EXPECT_TRUE(one.phone.TakeEvents().empty());
}

TEST(DataPhoneFile, SenderThatSendsNoClosingBlockEndsBySize) {
    TOnePhone one;
    std::string data = Pattern(4096);
    one.Feed("sendFILE:old.dat[4096]\r\n");
    ASSERT_TRUE(one.phone.AcceptFile());
    EXPECT_EQ(one.phone.TakeOutput(), "sendFILE:OK         \r\n");
    std::string acks = one.Feed(FileBlocks(data, false));
    EXPECT_EQ(acks, BlockAck(TTransferKind::File) + BlockAck(TTransferKind::File));
    EXPECT_FALSE(one.phone.Busy());
    EXPECT_EQ(one.sink.stored["old.dat"], data);
    // A 0-length block that still comes is acknowledged.
    EXPECT_EQ(one.Feed(BlockHeader(TTransferKind::File, 0)), BlockAck(TTransferKind::File));
    EXPECT_EQ(one.phone.DiscardedBytes(), 0);
}

TEST(DataPhoneFile, WrongAcknowledgementsAreShownAndTheTransferGoesOn) {
    TOnePhone one;
    ASSERT_TRUE(one.phone.SendFile("x.txt", 3000, Source(Pattern(3000))));
    EXPECT_EQ(one.phone.TakeOutput(), "sendFILE:x.txt[3000]\r\n");
    std::string first = one.Feed("sendFILE:NO         \r\n");
    auto events = one.phone.TakeEvents();
    auto panels = Texts(events, TKind::Panel0Changed);
    ASSERT_FALSE(panels.empty());
    EXPECT_EQ(panels.front(), "sendFILE:NO         \r\n Bad SendFile Response.");
    EXPECT_EQ(first.substr(0, 22), "FILELeng:2048       \r\n");
    one.Feed("FILELeng:BAD        \r\n");
    panels = Texts(one.phone.TakeEvents(), TKind::Panel0Changed);
    ASSERT_FALSE(panels.empty());
    EXPECT_EQ(panels.front(), "FILELeng:BAD        \r\n Bad File Length Response.");
    one.Feed(BlockAck(TTransferKind::File));
    EXPECT_FALSE(one.phone.Busy());
    EXPECT_EQ(one.phone.WrongAcknowledgements(), 2);
    EXPECT_EQ(one.phone.View().Panel0, "3000 Bytes Send Succesfully");
}

TEST(DataPhoneFile, TransferOwnsTheStreamAndChatsWaitForIt) {
    TPhonePair p;
    ASSERT_TRUE(p.a.SendFile("x.txt", 10, Source(Pattern(10))));
    EXPECT_FALSE(p.a.SendFile("y.txt", 1, Source("y")));
    EXPECT_FALSE(p.a.SendPicture(Source("jpeg")));
    EXPECT_TRUE(p.a.SendChat("after"));
    p.Pump();
    EXPECT_EQ(p.aToB, "sendFILE:x.txt[10]\r\n");  // the chat waits
    ASSERT_TRUE(p.b.AcceptFile());
    p.Pump();
    EXPECT_EQ(p.aToB.substr(p.aToB.size() - 10), "Chat:after");
    p.Quiet(TDataPhone::kChatQuietMs);
    EXPECT_EQ(Texts(p.b.TakeEvents(), TKind::ChatReceived), std::vector<std::string>{"after"});
    EXPECT_EQ(p.sinkB.stored["x.txt"], Pattern(10));
}

TEST(DataPhoneFile, ReceivingRefusesOtherTransfers) {
    TOnePhone one;
    one.Feed("sendFILE:a.txt[5000]\r\n");
    ASSERT_TRUE(one.phone.AcceptFile());
    EXPECT_FALSE(one.phone.AcceptFile());
    EXPECT_FALSE(one.phone.SendFile("b", 1, Source("b")));
    EXPECT_EQ(one.phone.TakeOutput(), RequestAck(TTransferKind::File));
}

TEST(DataPhoneFile, SendingTimesAccumulateTheFileReadingTime) {
    // Each read of the file takes 60 s: u(60000) + u(120000) + u(180000) = 1 + 1 + 2.
    struct TSlowSource : TTransferSource {
        TManualClock* clock;
        std::string data = Pattern(5000);
        std::size_t pos = 0;
        std::size_t Read(char* buffer, std::size_t max) override {
            clock->now += 60000;
            std::size_t n = std::min(max, data.size() - pos);
            data.copy(buffer, n, pos);
            pos += n;
            return n;
        }
    };
    TOnePhone one;
    one.phone.SetTimeoutSeconds(3600);
    auto source = std::make_unique<TSlowSource>();
    source->clock = &one.clock;
    ASSERT_TRUE(one.phone.SendFile("slow.bin", 5000, std::move(source)));
    one.Feed(RequestAck(TTransferKind::File));
    one.Feed(BlockAck(TTransferKind::File));
    one.Feed(BlockAck(TTransferKind::File));
    EXPECT_EQ(one.phone.View().Counters.TimeOutTotal, 4);
}

TEST(DataPhoneFile, ReceivingTimesAccumulateTheBlockReadingTime) {
    TOnePhone one;
    one.phone.SetTimeoutSeconds(3600);
    std::string data = Pattern(6144);
    one.Feed("sendFILE:t.bin[6144]\r\n");
    ASSERT_TRUE(one.phone.AcceptFile());
    for (int i = 0; i < 3; ++i) {
        one.Feed(BlockHeader(TTransferKind::File, 2048) + data.substr(i * 2048, 1000));
        one.clock.now += 75000;
        one.Feed(data.substr(i * 2048 + 1000, 1048));
    }
    // u(75000) + u(150000) + u(225000) = 1 + 2 + 2
    EXPECT_EQ(one.phone.View().Counters.TimeInTotal, 5);
    EXPECT_EQ(one.phone.View().Panel0, "6144 Bytes Received Succesfully  - Time elapsed: 225000 ml.sec.");
}

// --- Pictures ---------------------------------------------------------------

TEST(DataPhonePicture, ExactMultipleEndsWithZeroBlockAndCountsOnBothSides) {
    for (std::size_t size : {0u, 1u, 1023u, 1024u, 2048u, 5000u}) {
        TPhonePair p;
        std::string jpeg = Pattern(size, 3);
        ASSERT_TRUE(p.a.SendPicture(Source(jpeg)));
        EXPECT_FALSE(p.a.View().SendButtonEnabled);
        EXPECT_TRUE(p.a.View().Lamp(TLamp::SendJPEG).Lit);
        EXPECT_EQ(p.a.View().Lamp(TLamp::SendJPEG).Color, TLampColor::Red);
        p.Pump();
        SCOPED_TRACE(size);
        std::string expected = PictureRequest();
        for (std::size_t i = 0; i < size; i += 1024)
            expected += BlockHeader(TTransferKind::Picture, std::min<std::size_t>(1024, size - i)) +
                        jpeg.substr(i, 1024);
        if (size % 1024 == 0) expected += "JPEGLeng:0          \r\n";
        EXPECT_EQ(p.aToB, expected);
        EXPECT_EQ(p.sinkB.stored["Snapshot.jpg"], jpeg);
        EXPECT_EQ(p.a.View().Counters.PicturesOutCount, 1);
        EXPECT_EQ(p.b.View().Counters.PicturesInCount, 1);
        EXPECT_EQ(p.a.View().Counters.BytesOutTotal, static_cast<std::int64_t>(size));
        EXPECT_EQ(p.b.View().Counters.BytesInTotal, static_cast<std::int64_t>(size / 1024 * 1024));
        EXPECT_TRUE(p.a.View().SendButtonEnabled);
        EXPECT_FALSE(p.a.View().Lamp(TLamp::SendJPEG).Lit);
        EXPECT_TRUE(p.b.View().SendButtonEnabled);
        EXPECT_FALSE(p.b.View().Lamp(TLamp::SendJPEG).Lit);
        auto received = p.b.TakeEvents();
        ASSERT_EQ(Count(received, TKind::PictureReceived), 1);
    }
}

TEST(DataPhonePicture, AnyPictureRequestIsAnsweredAtOnce) {
    TOnePhone one;
    EXPECT_EQ(one.Feed("sendJPEG:whatever.jpeg\r\n"), "sendJPEG:OK         \r\n");
    EXPECT_TRUE(one.phone.Busy());
    EXPECT_EQ(one.phone.View().Lamp(TLamp::SendJPEG).Color, TLampColor::Yellow);
    EXPECT_FALSE(one.phone.View().SendButtonEnabled);
}

TEST(DataPhonePicture, WithoutClosingBlockEndsAfterTwoSecondsOfQuiet) {
    TOnePhone one;
    std::string jpeg = Pattern(2048);
    one.Feed(PictureRequest());
    one.Feed(BlockHeader(TTransferKind::Picture, 1024) + jpeg.substr(0, 1024));
    one.Feed(BlockHeader(TTransferKind::Picture, 1024) + jpeg.substr(1024));
    one.Later(TDataPhone::kPictureEndQuietMs - 1);
    EXPECT_TRUE(one.phone.Busy());
    one.Later(1);
    EXPECT_FALSE(one.phone.Busy());
    EXPECT_EQ(one.sink.stored["Snapshot.jpg"], jpeg);
    // The late closing block is acknowledged.
    one.phone.TakeOutput();
    EXPECT_EQ(one.Feed("JPEGLeng:0          \r\n"), "JPEGLeng:OK         \r\n");
}

TEST(DataPhonePicture, OtherTrafficAfterAFullBlockEndsThePicture) {
    TOnePhone one;
    one.Feed(PictureRequest());
    one.Feed(BlockHeader(TTransferKind::Picture, 1024) + Pattern(1024));
    one.Feed("Chat:next");
    EXPECT_FALSE(one.phone.Busy());
    EXPECT_EQ(one.sink.commits, 1);
    one.Later(TDataPhone::kChatQuietMs);
    EXPECT_EQ(Texts(one.phone.TakeEvents(), TKind::ChatReceived), std::vector<std::string>{"next"});
}

TEST(DataPhonePicture, WrongAcknowledgementTexts) {
    TOnePhone one;
    ASSERT_TRUE(one.phone.SendPicture(Source(Pattern(10))));
    one.Feed("sendJPEG:??         \r\n");
    one.Feed("what                \r\n");
    auto panels = Texts(one.phone.TakeEvents(), TKind::Panel0Changed);
    ASSERT_EQ(panels.size(), 2u);
    EXPECT_EQ(panels[0], "sendJPEG:??         \r\n - Bad JPEGFile Response.");
    EXPECT_EQ(panels[1], "what                \r\n Bad JPEG Length Response.");
    EXPECT_FALSE(one.phone.Busy());
    EXPECT_EQ(one.phone.View().Counters.PicturesOutCount, 1);
}

// --- Failures ---------------------------------------------------------------

TEST(DataPhoneFailure, HangUpMidTransferFailsAtOnceCountingNothing) {
    TPhonePair p;
    bool sourceClosed = false;
    ASSERT_TRUE(p.a.SendFile("big.bin", 100000, Source(Pattern(100000), &sourceClosed)));
    p.Pump();
    ASSERT_TRUE(p.b.AcceptFile());
    // Let two blocks through, then drop the call on both sides.
    p.b.Feed(p.a.TakeOutput());
    p.a.Feed(p.b.TakeOutput());
    p.b.Feed(p.a.TakeOutput());
    p.a.SetConnected(false);
    p.b.SetConnected(false);
    EXPECT_TRUE(sourceClosed);
    EXPECT_FALSE(p.a.Busy());
    EXPECT_FALSE(p.b.Busy());
    EXPECT_EQ(p.a.View().Counters.FilesOutCount, 0);
    EXPECT_EQ(p.b.View().Counters.FilesInCount, 0);
    EXPECT_NE(p.a.View().Panel0.find("Connection lost"), std::string::npos);
    EXPECT_EQ(Count(p.a.TakeEvents(), TKind::TransferFailed), 1);
    EXPECT_EQ(p.sinkB.aborts, 1);
    EXPECT_TRUE(p.sinkB.stored.empty());
    // Lamps and buttons are back as they were before the transfer.
    EXPECT_FALSE(p.a.View().Lamp(TLamp::Send).Lit);
    EXPECT_FALSE(p.a.View().Lamp(TLamp::Receive).Lit);
    EXPECT_TRUE(p.a.View().SnapshotButtonEnabled);
    EXPECT_TRUE(p.b.View().SnapshotButtonEnabled);
    EXPECT_FALSE(p.b.View().Lamp(TLamp::Receive).Lit);
    EXPECT_EQ(p.a.TakeOutput(), "");
}

TEST(DataPhoneFailure, MissingAcknowledgementTimesOut) {
    TOnePhone one;
    one.phone.SetTimeoutSeconds(60);
    ASSERT_TRUE(one.phone.SendPicture(Source("x")));
    auto deadline = one.phone.NextDeadline();
    ASSERT_TRUE(deadline);
    EXPECT_EQ(*deadline, one.clock.now + 60000);
    one.Later(59999);
    EXPECT_TRUE(one.phone.Busy());
    one.Later(1);
    EXPECT_FALSE(one.phone.Busy());
    EXPECT_EQ(one.phone.View().Panel0, "Timeout during read operation.");
    EXPECT_TRUE(one.phone.View().SendButtonEnabled);
    EXPECT_FALSE(one.phone.View().Lamp(TLamp::SendJPEG).Lit);
}

TEST(DataPhoneFailure, HostileHeadersEndTheTransferWithAClearMessage) {
    struct TCase {
        std::string request;
        std::string header;
        std::string message;
    };
    const std::vector<TCase> cases = {
        {PictureRequest(), "JPEGLeng:1025       \r\n", "Block of 1025 bytes announced, at most 1024 allowed - transfer ended."},
        {"sendFILE:f[9000]\r\n", "FILELeng:2049       \r\n", "Block of 2049 bytes announced, at most 2048 allowed - transfer ended."},
        {"sendFILE:f[900000]\r\n", "FILELeng:100000     \r\n", "Block of 100000 bytes announced, at most 2048 allowed - transfer ended."},
        {"sendFILE:f[9000]\r\n", "FILELeng:2x48       \r\n", "Bad block header \"FILELeng:2x48       \" - transfer ended."},
        {"sendFILE:f[9000]\r\n", "FILELeng:           \r\n", "Bad block header \"FILELeng:           \" - transfer ended."},
        {"sendFILE:f[100]\r\n", "FILELeng:2048       \r\n", "File grows past its announced size of 100 bytes - transfer ended."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header);
        TOnePhone one;
        one.Feed(c.request);
        if (one.phone.FileAnnounced()) {
            ASSERT_TRUE(one.phone.AcceptFile());
        }
        one.phone.TakeOutput();
        // The header comes with data that must be thrown away.
        std::string acks = one.Feed(c.header + Pattern(3000));
        EXPECT_EQ(acks, "");
        EXPECT_FALSE(one.phone.Busy());
        EXPECT_EQ(one.phone.View().Panel0, c.message);
        EXPECT_EQ(one.sink.aborts, 1);
        EXPECT_TRUE(one.sink.stored.empty());
        EXPECT_TRUE(one.phone.View().SendButtonEnabled);
        EXPECT_TRUE(one.phone.View().SnapshotButtonEnabled);
        // The rest of the failed transfer is dropped until the peer falls quiet;
        // then the phone is usable again.
        one.Feed(Pattern(500));
        one.Later(TDataPhone::kChatQuietMs);
        one.Feed("Chat:still here");
        one.Later(TDataPhone::kChatQuietMs);
        EXPECT_EQ(Texts(one.phone.TakeEvents(), TKind::ChatReceived), std::vector<std::string>{"still here"});
    }
}

TEST(DataPhoneFailure, FileShorterThanAnnouncedIsNotKept) {
    TOnePhone one;
    one.Feed("sendFILE:f.txt[5000]\r\n");
    ASSERT_TRUE(one.phone.AcceptFile());
    one.Feed(BlockHeader(TTransferKind::File, 100) + Pattern(100));
    EXPECT_FALSE(one.phone.Busy());
    EXPECT_TRUE(one.sink.stored.empty());
    EXPECT_EQ(one.phone.View().Panel0, "File ended after 100 of 5000 bytes - transfer failed.");
    EXPECT_EQ(one.phone.View().Counters.FilesInCount, 0);
}

TEST(DataPhoneFailure, PictureMayNotGrowPast16MB) {
    TOnePhone one;
    one.Feed(PictureRequest());
    std::string block = BlockHeader(TTransferKind::Picture, 1024) + Pattern(1024);
    for (int i = 0; i < 16 * 1024 && one.phone.Busy(); ++i) one.Feed(block);
    ASSERT_TRUE(one.phone.Busy());
    EXPECT_EQ(one.sink.current.size(), 16u * 1024 * 1024);
    one.Feed(block);
    EXPECT_FALSE(one.phone.Busy());
    EXPECT_EQ(one.phone.View().Panel0, "Picture larger than 16 MB - transfer ended.");
    EXPECT_TRUE(one.sink.stored.empty());
}

TEST(DataPhoneFailure, StorageFailuresEndTheTransferAndRestoreTheButtons) {
    {
        TOnePhone one;
        one.sink.failBegin = true;
        one.Feed("sendFILE:f.txt[10]\r\n");
        ASSERT_TRUE(one.phone.AcceptFile());
        EXPECT_FALSE(one.phone.Busy());
        EXPECT_EQ(one.phone.View().Panel0, "Cannot create \"f.txt\": Permission denied");
        EXPECT_TRUE(one.phone.View().SnapshotButtonEnabled);
        EXPECT_FALSE(one.phone.View().Lamp(TLamp::Receive).Lit);
    }
    {
        TOnePhone one;
        one.sink.failAppend = true;
        one.Feed("sendFILE:f.txt[10]\r\n");
        ASSERT_TRUE(one.phone.AcceptFile());
        one.phone.TakeOutput();
        EXPECT_EQ(one.Feed(BlockHeader(TTransferKind::File, 10) + Pattern(10)), "");
        EXPECT_EQ(one.phone.View().Panel0, "Cannot write: No space left on device");
        EXPECT_EQ(one.sink.aborts, 1);
    }
    {
        TOnePhone one;
        one.sink.failCommit = true;
        one.Feed(PictureRequest());
        one.Feed(BlockHeader(TTransferKind::Picture, 10) + Pattern(10));
        EXPECT_FALSE(one.phone.Busy());
        EXPECT_EQ(one.phone.View().Panel0, "bad picture");
        EXPECT_EQ(one.phone.View().Counters.PicturesInCount, 0);
        EXPECT_TRUE(one.phone.View().SendButtonEnabled);
        EXPECT_FALSE(one.phone.View().Lamp(TLamp::SendJPEG).Lit);
    }
}

TEST(DataPhoneFailure, GarbageIsDiscardedAndTheLineStaysUsable) {
    TOnePhone one;
    std::string garbage = Pattern(64 * 1024, 99);
    // Keep the garbage free of complete keywords so that all of it is noise.
    for (auto& c : garbage)
        if (c == ':') c = ';';
    EXPECT_EQ(one.Feed(garbage), "");
    one.Later(120000);
    one.Feed("sendFILE:ok.txt[2]\r\n");
    EXPECT_TRUE(one.phone.FileAnnounced());
    EXPECT_EQ(Count(one.phone.TakeEvents(), TKind::ChatReceived), 0);
}

TEST(DataPhoneFailure, BadRequestsAreNotAnswered) {
    for (std::string request : {std::string("sendFILE:a.txt[12x]\r\n"), std::string("sendFILE:a.txt\r\n"),
                                std::string("sendFILE:a.txt\0[3]\r\n", 20)}) {
        TOnePhone one;
        EXPECT_EQ(one.Feed(request), "");
        EXPECT_FALSE(one.phone.FileAnnounced());
        EXPECT_EQ(Count(one.phone.TakeEvents(), TKind::TransferFailed), 1);
    }
    TOnePhone one;
    one.Feed("sendFILE:" + std::string(5000, 'a'));
    EXPECT_FALSE(one.phone.FileAnnounced());
    EXPECT_EQ(one.phone.View().Panel0, "Request line too long - ignored.");
}

TEST(DataPhoneFailure, UnfinishedRequestIsDroppedAfterTheTimeout) {
    TOnePhone one;
    one.phone.SetTimeoutSeconds(5);
    one.Feed("sendFILE:a.t");
    one.Later(5000);
    one.Feed("Chat:hi");
    one.Later(TDataPhone::kChatQuietMs);
    EXPECT_EQ(Texts(one.phone.TakeEvents(), TKind::ChatReceived), std::vector<std::string>{"hi"});
}

TEST(DataPhoneFailure, UnreadableFileEndsTheSendingAndKeepsTheLineOpen) {
    struct TBrokenSource : TTransferSource {
        std::size_t Read(char*, std::size_t) override { throw EInOutError("Cannot read \"x\": Input/output error"); }
    };
    TOnePhone one;
    ASSERT_TRUE(one.phone.SendFile("x", 10, std::make_unique<TBrokenSource>()));
    EXPECT_FALSE(one.phone.View().SnapshotButtonEnabled);
    one.Feed(RequestAck(TTransferKind::File) + "Chat:peer talks");
    EXPECT_FALSE(one.phone.Busy());
    EXPECT_EQ(one.phone.View().Panel0, "Cannot read \"x\": Input/output error");
    EXPECT_TRUE(one.phone.View().SnapshotButtonEnabled);
    EXPECT_FALSE(one.phone.View().Lamp(TLamp::Send).Lit);
    EXPECT_EQ(one.phone.View().Counters.FilesOutCount, 0);
    one.Later(TDataPhone::kChatQuietMs);
    EXPECT_EQ(Texts(one.phone.TakeEvents(), TKind::ChatReceived), std::vector<std::string>{"peer talks"});
}

TEST(DataPhoneFailure, ClosingBlockBeforeTheAnnouncedSizeIsNotKept) {
    TOnePhone one;
    one.Feed("sendFILE:f.txt[5000]\r\n");
    ASSERT_TRUE(one.phone.AcceptFile());
    one.phone.TakeOutput();
    std::string acks = one.Feed(BlockHeader(TTransferKind::File, 2048) + Pattern(2048) +
                                BlockHeader(TTransferKind::File, 0));
    EXPECT_EQ(acks, BlockAck(TTransferKind::File) + BlockAck(TTransferKind::File));
    EXPECT_FALSE(one.phone.Busy());
    EXPECT_TRUE(one.sink.stored.empty());
    EXPECT_EQ(one.phone.View().Panel0, "File ended after 2048 of 5000 bytes - transfer failed.");
    EXPECT_EQ(one.phone.View().Counters.FilesInCount, 0);
}
