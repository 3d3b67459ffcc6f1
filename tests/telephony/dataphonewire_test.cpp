// Wire elements byte for byte and the parsing of what a peer sends.

#include <gtest/gtest.h>

#include "telephony/dataphonewire.h"

using namespace vandrex;
using namespace vandrex::dataphone;

TEST(DataPhoneWire, ElementsAreExactBytes) {
    EXPECT_EQ(ChatLine(std::string(50, 'x')).size(), 55u);
    EXPECT_EQ(ChatLine("hi there "), "Chat:hi there ");
    EXPECT_EQ(ChatLine(""), "Chat:");
    EXPECT_EQ(PictureRequest(), "sendJPEG:Snapshot.jpg\r\n");
    EXPECT_EQ(PictureRequest().size(), 23u);
    EXPECT_EQ(FileRequest("report.txt", 5000), "sendFILE:report.txt[5000]\r\n");
    EXPECT_EQ(BlockHeader(TTransferKind::File, 2048), "FILELeng:2048       \r\n");
    EXPECT_EQ(BlockHeader(TTransferKind::File, 904), "FILELeng:904        \r\n");
    EXPECT_EQ(BlockHeader(TTransferKind::Picture, 0), "JPEGLeng:0          \r\n");
    EXPECT_EQ(RequestAck(TTransferKind::Picture), "sendJPEG:OK         \r\n");
    EXPECT_EQ(RequestAck(TTransferKind::File), "sendFILE:OK         \r\n");
    EXPECT_EQ(BlockAck(TTransferKind::Picture), "JPEGLeng:OK         \r\n");
    EXPECT_EQ(BlockAck(TTransferKind::File), "FILELeng:OK         \r\n");
    for (auto kind : {TTransferKind::Picture, TTransferKind::File}) {
        EXPECT_EQ(BlockHeader(kind, 1024).size(), kControlLineSize);
        EXPECT_EQ(RequestAck(kind).size(), kControlLineSize);
        EXPECT_EQ(BlockAck(kind).size(), kControlLineSize);
    }
}

TEST(DataPhoneWire, NamesOnTheWireKeepToOneLine) {
    EXPECT_EQ(WireName(std::string("a\rb\nc\0d.txt", 11)), "a_b_c_d.txt");
    EXPECT_EQ(WireName("caf\xE9.txt"), "caf\xE9.txt");
    EXPECT_EQ(WireNameFromUnicode(U"caf\u00E9 \u20AC?\u4E2D\r.txt"), "caf\xE9 \x80?__.txt");
}

TEST(DataPhoneWire, BlockLengthReading) {
    EXPECT_EQ(ParseBlockLength("FILELeng:2048       \r\n"), 2048);
    EXPECT_EQ(ParseBlockLength("JPEGLeng:0          \r\n"), 0);
    // Any prefix: the number follows the first ":".
    EXPECT_EQ(ParseBlockLength("xx:17               \r\n"), 17);
    // A NUL cuts the header.
    EXPECT_EQ(ParseBlockLength(std::string("FILELeng:12\0 34     \r\n", 22)), 12);
    EXPECT_EQ(ParseBlockLength(std::string("FILELeng:\0" "12      \r\n", 20)), std::nullopt);
    EXPECT_EQ(ParseBlockLength("FILELeng:12a        \r\n"), std::nullopt);
    EXPECT_EQ(ParseBlockLength("FILELeng:-12        \r\n"), std::nullopt);
    EXPECT_EQ(ParseBlockLength("FILELeng: 12        \r\n"), std::nullopt);
    EXPECT_EQ(ParseBlockLength("FILELeng2048        \r\n"), std::nullopt);
    EXPECT_EQ(ParseBlockLength("FILELeng:99999999999999999999\r\n"), std::nullopt);
    // No blank: the field runs to the end and is trimmed of the line end.
    EXPECT_EQ(ParseBlockLength("FILELeng:100000\r\n"), 100000);
}

TEST(DataPhoneWire, FileRequestReading) {
    auto r = ParseFileRequest("sendFILE:report.txt[5000]\r\n");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->name, "report.txt");
    EXPECT_EQ(r->size, 5000);
    // A four-character extension is cut to three.
    EXPECT_EQ(ParseFileRequest("sendFILE:page.html[1]\r\n")->name, "page.htm");
    // Cut through the third character after the first ".".
    EXPECT_EQ(ParseFileRequest("sendFILE:a.tar.gz[1]\r\n")->name, "a.tar");
    EXPECT_EQ(ParseFileRequest("sendFILE:README[1]\r\n")->name, "README");
    // The name runs to the last "[", the size to the final "]".
    r = ParseFileRequest("sendFILE:x[1]y[22]\r\n");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->name, "x[1]y");
    EXPECT_EQ(r->size, 22);
    // Only the last path component, split at both kinds of slash first.
    EXPECT_EQ(ParseFileRequest("sendFILE:../../etc/passwd[4]\r\n")->name, "passwd");
    EXPECT_EQ(ParseFileRequest("sendFILE:C:\\dir.d\\evil.exe.txt[4]\r\n")->name, "evil.exe");
    // A NUL cuts the request.
    EXPECT_FALSE(ParseFileRequest(std::string("sendFILE:a.txt\0[4]\r\n", 21)));
    EXPECT_FALSE(ParseFileRequest("sendFILE:a.txt[4x]\r\n"));
    EXPECT_FALSE(ParseFileRequest("sendFILE:a.txt[]\r\n"));
    EXPECT_FALSE(ParseFileRequest("sendFILE:a.txt4]\r\n"));
    EXPECT_FALSE(ParseFileRequest("sendFILE:a.txt]4[\r\n"));
    EXPECT_FALSE(ParseFileRequest("sendJPEG:a.txt[4]\r\n"));
}

TEST(DataPhoneWire, SafeBaseNames) {
    EXPECT_EQ(SafeBaseName("report.txt"), "report.txt");
    EXPECT_EQ(SafeBaseName("a\x01" "b\x7F" "c\x1F.txt"), "abc.txt");
    EXPECT_EQ(SafeBaseName("a:b*c?d\"e<f>g|h.txt"), "abcdefgh.txt");
    EXPECT_EQ(SafeBaseName("x/y\\z"), "xyz");
    EXPECT_EQ(SafeBaseName("  . name .  "), "name");
    EXPECT_EQ(SafeBaseName(".."), "Received file");
    EXPECT_EQ(SafeBaseName("."), "Received file");
    EXPECT_EQ(SafeBaseName(""), "Received file");
    EXPECT_EQ(SafeBaseName("\x01\x02"), "Received file");
    std::string longName = std::string(300, 'n') + ".txt";
    auto safe = SafeBaseName(longName);
    EXPECT_EQ(safe.size(), kMaxStoredName);
    EXPECT_EQ(safe.substr(safe.size() - 4), ".txt");
    // Bytes of the code page above 0x7F stay (they are letters there).
    EXPECT_EQ(SafeBaseName("caf\xE9"), "caf\xE9");
}

TEST(DataPhoneWire, ReservedNamesIgnoreCase) {
    EXPECT_TRUE(IsReservedName("Your DataBase.DAT"));
    EXPECT_TRUE(IsReservedName("your database.dat"));
    EXPECT_TRUE(IsReservedName("SNAPSHOT.JPG"));
    EXPECT_TRUE(IsReservedName("Track_12.rm"));
    EXPECT_FALSE(IsReservedName("Track_x.rm"));
    EXPECT_FALSE(IsReservedName("Snapshot.jp"));
    EXPECT_FALSE(IsReservedName("notes.txt"));
}

TEST(DataPhoneWire, TimeUnitsRoundHalvesToEven) {
    EXPECT_EQ(TimeUnits(0), 0);
    EXPECT_EQ(TimeUnits(49999), 0);
    EXPECT_EQ(TimeUnits(50000), 0);   // 0.5
    EXPECT_EQ(TimeUnits(50001), 1);
    EXPECT_EQ(TimeUnits(150000), 2);  // 1.5
    EXPECT_EQ(TimeUnits(250000), 2);  // 2.5
    EXPECT_EQ(TimeUnits(1000000), 10);
}

TEST(DataPhoneWire, JpegFrameHeaderFound) {
    // SOI, an APP0 segment, SOF0 with height 480 and width 640.
    std::string jpeg = "\xFF\xD8\xFF\xE0";
    jpeg += std::string("\x00\x04", 2) + "ab";
    jpeg += std::string("\xFF\xC0\x00\x11\x08\x01\xE0\x02\x80", 9);
    auto size = JpegFrameSize(jpeg);
    ASSERT_TRUE(size);
    EXPECT_EQ(size->width, 640);
    EXPECT_EQ(size->height, 480);
    EXPECT_FALSE(JpegFrameSize("not a picture at all"));
    EXPECT_FALSE(JpegFrameSize(jpeg.substr(0, 12)));
    // A huffman table (C4) is no frame header.
    std::string dht = "\xFF\xD8" + std::string("\xFF\xC4\x00\x04\x01\x02", 6);
    EXPECT_FALSE(JpegFrameSize(dht));
}
