#include "app/cardrecord.h"

#include <gtest/gtest.h>

namespace vandrex {
namespace {

TEST(CardRecordLayout, FieldTableMatchesTheFileLayout) {
    const struct {
        const char* name;
        int offset, capacity;
    } expected[] = {{"FirstName", 0, 20}, {"LastName", 21, 40}, {"Address", 62, 40}, {"Room", 103, 5},
                    {"Zipcode", 109, 6}, {"City", 116, 15},     {"State", 132, 10},  {"Phone", 143, 17},
                    {"Fax", 161, 17},    {"Mobile", 179, 17},   {"EMail", 197, 40}};
    ASSERT_EQ(kCardRecordSize, 238);
    for (int i = 0; i < kCardFieldCount; ++i) {
        EXPECT_STREQ(CardFields()[i].name, expected[i].name);
        EXPECT_EQ(CardFields()[i].offset, expected[i].offset) << expected[i].name;
        EXPECT_EQ(CardFields()[i].capacity, expected[i].capacity) << expected[i].name;
        EXPECT_EQ(FindCardField(expected[i].name), i);
    }
    EXPECT_EQ(FindCardField("Email"), -1);  // names are exact
    EXPECT_EQ(FindCardField(""), -1);
}

TEST(CardTextEncoding, ShiftsEachByteByItsPosition) {
    EXPECT_EQ(EncodeCardText("abc"), "ace");
    EXPECT_EQ(DecodeCardText("ace"), "abc");
    EXPECT_EQ(EncodeCardText(""), "");
    // Bytes wrap past 255: 0xFF at position 2 is stored as 0x00, 0xFE at 3 as 0x00.
    EXPECT_EQ(EncodeCardText("\xff\xff\xfe"), std::string("\xff\x00\x00", 3));
    EXPECT_EQ(DecodeCardText(std::string("\xff\x00\x00", 3)), "\xff\xff\xfe");
}

TEST(CardTextEncoding, EveryByteSurvivesARoundTripAtEveryPosition) {
    std::string plain;
    for (int i = 0; i < 256; ++i) plain.push_back(static_cast<char>(255 - i));
    plain += plain;  // positions beyond 256 wrap the shift itself
    EXPECT_EQ(DecodeCardText(EncodeCardText(plain)), plain);
}

TEST(CardRecordText, EncodesIntoTheFieldWithALengthByte) {
    TCardRecord r;
    r.setText(CardField::Room, "abc");
    EXPECT_EQ(r.bytes[103], 3);
    EXPECT_EQ(r.bytes[104], 'a');
    EXPECT_EQ(r.bytes[105], 'c');
    EXPECT_EQ(r.bytes[106], 'e');
    EXPECT_EQ(r.text(CardField::Room), "abc");
    EXPECT_EQ(r.storedText(CardField::Room), "ace");
}

TEST(CardRecordText, LongTextsAreEncodedThenCutToTheCapacity) {
    TCardRecord r;
    r.setText(CardField::FirstName, "ABCDEFGHIJKLMNOPQRSTUVWXY");  // 25 characters
    EXPECT_EQ(r.bytes[0], 20);
    EXPECT_EQ(r.text(CardField::FirstName), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(r.bytes[21], 0) << "the cut must not spill into LastName";

    r.setText(CardField::EMail, std::string(60, 'x'));
    EXPECT_EQ(r.bytes[197], 40);
    EXPECT_EQ(r.text(CardField::EMail), std::string(40, 'x'));
}

TEST(CardRecordText, ShorterTextLeavesTheOldTailAndReadersIgnoreIt) {
    TCardRecord r;
    r.setText(CardField::City, "Amsterdam");
    r.setText(CardField::City, "Ede");
    EXPECT_EQ(r.text(CardField::City), "Ede");
    EXPECT_EQ(r.bytes[116 + 4], static_cast<std::uint8_t>('t' + 3));  // "Amsterdam" byte 4, unchanged
    r.setText(CardField::City, "");
    EXPECT_EQ(r.bytes[116], 0);
    EXPECT_EQ(r.text(CardField::City), "");
}

TEST(CardRecordText, OversizedLengthByteReadsAsTheCapacity) {
    TCardRecord r;
    for (auto& b : r.bytes) b = 0xEE;
    r.bytes[229] = 0xEE;  // inside EMail, the last field: a length of 238 would run off the record
    r.bytes[197] = 255;
    EXPECT_EQ(r.storedText(CardField::EMail).size(), 40u);
    EXPECT_EQ(r.text(CardField::EMail).size(), 40u);
    r.bytes[103] = 6;  // Room holds 5
    EXPECT_EQ(r.storedText(CardField::Room).size(), 5u);
}

}  // namespace
}  // namespace vandrex
