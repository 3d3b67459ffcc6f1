#include "platform/codepage.h"

namespace vandrex {

namespace {
// 0x80..0x9F; the rest of the page equals Latin-1.
constexpr char32_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};
}  // namespace

char32_t AnsiToCodePoint(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHigh[byte - 0x80];
    return byte;
}

unsigned char CodePointToAnsi(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == cp) return static_cast<unsigned char>(0x80 + i);
    return '?';
}

std::u32string DecodeAnsi(std::string_view bytes) {
    std::u32string out;
    out.reserve(bytes.size());
    for (unsigned char b : bytes) out.push_back(AnsiToCodePoint(b));
    return out;
}

std::string EncodeAnsi(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) out.push_back(static_cast<char>(CodePointToAnsi(c)));
    return out;
}

std::string AnsiToUtf8(std::string_view bytes) {
    std::string out;
    for (unsigned char b : bytes) {
        const char32_t c = AnsiToCodePoint(b);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string Utf8ToAnsi(std::string_view s) {
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        int len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
        char32_t cp = 0;
        bool ok = len > 0 && i + len <= s.size();
        if (ok) {
            cp = len == 1 ? b : b & (0x7F >> len);
            for (int k = 1; k < len; ++k) {
                const unsigned char c = static_cast<unsigned char>(s[i + k]);
                if ((c & 0xC0) != 0x80) { ok = false; break; }
                cp = (cp << 6) | (c & 0x3F);
            }
        }
        if (!ok) {
            out.push_back('?');
            ++i;
            continue;
        }
        out.push_back(static_cast<char>(CodePointToAnsi(cp)));
        i += len;
    }
    return out;
}

}  // namespace vandrex
