#include "platform/codepage.h"

#include <gtest/gtest.h>

using namespace vandrex;

TEST(CodePage, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(EncodeAnsi(DecodeAnsi(all)), all);
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
}

TEST(CodePage, MapsTheSpecialRowAndTheUndefinedBytes) {
    EXPECT_EQ(AnsiToCodePoint(0x80), U'\u20AC');
    EXPECT_EQ(AnsiToCodePoint(0x9F), U'\u0178');
    EXPECT_EQ(AnsiToCodePoint(0x81), char32_t(0x81));
    EXPECT_EQ(AnsiToCodePoint(0xE9), U'\u00E9');
    EXPECT_EQ(AnsiToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(Utf8ToAnsi("caf\xC3\xA9"), "caf\xE9");
}

TEST(CodePage, CharactersOutsideThePageBecomeQuestionMarks) {
    EXPECT_EQ(CodePointToAnsi(U'\u4E2D'), '?');
    EXPECT_EQ(Utf8ToAnsi("\xE4\xB8\xAD"), "?");
    EXPECT_EQ(Utf8ToAnsi("a\xFF" "b"), "a?b");  // invalid UTF-8
    EXPECT_EQ(Utf8ToAnsi("\xC3"), "?");          // truncated sequence
}
