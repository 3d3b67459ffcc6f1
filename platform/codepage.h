#pragma once
// The Windows-1252 ("ANSI") code page of the card texts, mapped both ways.
//
// Every one of the 256 byte values has a code point, so bytes survive a round
// trip unchanged: control bytes map to U+0000..U+001F and U+007F, the five
// bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to
// the C1 controls of the same number, as the Windows converter does.

#include <string>
#include <string_view>

namespace vandrex {

char32_t AnsiToCodePoint(unsigned char byte);

// The byte of a code point, or '?' (0x3F) when the code page has none.
unsigned char CodePointToAnsi(char32_t codePoint);

std::u32string DecodeAnsi(std::string_view bytes);
std::string EncodeAnsi(std::u32string_view text);

// UTF-8 conversions for the command-line companions. Invalid UTF-8 sequences
// become '?'.
std::string AnsiToUtf8(std::string_view bytes);
std::string Utf8ToAnsi(std::string_view utf8);

}  // namespace vandrex
