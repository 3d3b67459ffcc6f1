#include "telephony/dataphonewire.h"

#include <array>
#include <cctype>
#include <limits>

#include "platform/codepage.h"
#include "platform/rounding.h"

namespace vandrex::dataphone {

namespace {

std::string PadLine(std::string text) {
    if (text.size() < kControlLineSize - 2) text.resize(kControlLineSize - 2, ' ');
    text += kLineEnd;
    return text;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

}  // namespace

std::size_t BlockSize(TTransferKind kind) {
    return kind == TTransferKind::Picture ? kPictureBlockSize : kFileBlockSize;
}

std::string_view HeaderPrefix(TTransferKind kind) {
    return kind == TTransferKind::Picture ? kPictureHeaderPrefix : kFileHeaderPrefix;
}

std::string_view RequestPrefix(TTransferKind kind) {
    return kind == TTransferKind::Picture ? kPictureRequestPrefix : kFileRequestPrefix;
}

std::string ChatLine(std::string_view text) {
    std::string line(kChatPrefix);
    line += text;
    return line;
}

std::string PictureRequest() {
    std::string line(kPictureRequestPrefix);
    line += kPictureName;
    line += kLineEnd;
    return line;
}

std::string FileRequest(std::string_view name, std::int64_t size) {
    std::string line(kFileRequestPrefix);
    line += name;
    line += '[';
    line += std::to_string(size);
    line += ']';
    line += kLineEnd;
    return line;
}

std::string BlockHeader(TTransferKind kind, std::size_t length) {
    return PadLine(std::string(HeaderPrefix(kind)) + std::to_string(length));
}

std::string RequestAck(TTransferKind kind) {
    return PadLine(std::string(RequestPrefix(kind)) + "OK");
}

std::string BlockAck(TTransferKind kind) {
    return PadLine(std::string(HeaderPrefix(kind)) + "OK");
}

std::string WireName(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c == '\0' || c == '\r' || c == '\n') c = '_';
    return out;
}

std::string WireNameFromUnicode(std::u32string_view name) {
    std::string out;
    for (char32_t c : name) {
        unsigned char b = CodePointToAnsi(c);
        bool unmapped = b == '?' && c != U'?';
        out += unmapped ? '_' : static_cast<char>(b);
    }
    return WireName(out);
}

std::string_view CutAtNul(std::string_view text) {
    auto nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

std::optional<std::int64_t> ParseDecimal(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        int d = c - '0';
        if (value > (std::numeric_limits<std::int64_t>::max() - d) / 10) return std::nullopt;
        value = value * 10 + d;
    }
    return value;
}

std::optional<std::int64_t> ParseBlockLength(std::string_view header) {
    header = CutAtNul(header);
    auto colon = header.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view rest = header.substr(colon + 1);
    auto blank = rest.find(' ');
    std::string_view field = rest.substr(0, blank);
    // Trimmed as the peer's text trim does: control characters (CR, LF, TAB) too.
    while (!field.empty() && static_cast<unsigned char>(field.back()) <= ' ') field.remove_suffix(1);
    while (!field.empty() && static_cast<unsigned char>(field.front()) <= ' ') field.remove_prefix(1);
    return ParseDecimal(field);
}

std::optional<TFileRequest> ParseFileRequest(std::string_view line) {
    line = CutAtNul(line);
    if (line.substr(0, kFileRequestPrefix.size()) != kFileRequestPrefix) return std::nullopt;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    std::string_view body = line.substr(kFileRequestPrefix.size());
    auto open = body.rfind('[');
    auto close = body.rfind(']');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return std::nullopt;
    auto size = ParseDecimal(body.substr(open + 1, close - open - 1));
    if (!size) return std::nullopt;
    return TFileRequest{CutFileName(body.substr(0, open)), *size};
}

std::string CutFileName(std::string_view name) {
    auto slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name = name.substr(slash + 1);
    auto dot = name.find('.');
    if (dot != std::string_view::npos && dot + 4 < name.size()) name = name.substr(0, dot + 4);
    return std::string(name);
}

std::string SafeBaseName(std::string_view name) {
    std::string clean;
    for (char c : name) {
        auto b = static_cast<unsigned char>(c);
        bool control = b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F ||
                       b == 0x90 || b == 0x9D;
        if (control) continue;
        if (std::string_view(":*?\"<>|/\\").find(c) != std::string_view::npos) continue;
        clean += c;
    }
    auto trimmable = [](char c) { return c == ' ' || c == '.'; };
    std::size_t begin = 0;
    while (begin < clean.size() && trimmable(clean[begin])) ++begin;
    std::size_t end = clean.size();
    while (end > begin && trimmable(clean[end - 1])) --end;
    clean = clean.substr(begin, end - begin);
    if (clean.size() > kMaxStoredName) {
        auto dot = clean.rfind('.');
        std::string ext = dot != std::string::npos && clean.size() - dot <= 8 ? clean.substr(dot) : "";
        clean = clean.substr(0, kMaxStoredName - ext.size());
        while (!clean.empty() && trimmable(clean.back())) clean.pop_back();
        clean += ext;
    }
    if (clean.empty()) clean = "Received file";
    return clean;
}

bool IsReservedName(std::string_view name) {
    static constexpr std::array<std::string_view, 11> kFixed = {
        "Your DataBase.DAT", "Your DataBase.DAT-journal", "Snapshot.bmp", "Snapshot.jpg",
        "Snapshot.gif",      "Nextshot.gif",             "Audio.rm",     "Video.rm",
        "TimeLaps.rm",       "Capture.avi",              "VANDREX.HLP"};
    for (auto fixed : kFixed)
        if (EqualNoCase(name, fixed)) return true;
    // The player's recorded tracks, "Track_" + n + ".rm".
    if (name.size() > 9 && EqualNoCase(name.substr(0, 6), "Track_") &&
        EqualNoCase(name.substr(name.size() - 3), ".rm")) {
        auto digits = name.substr(6, name.size() - 9);
        if (ParseDecimal(digits)) return true;
    }
    return false;
}

std::int64_t TimeUnits(std::int64_t milliseconds) {
    return Round(static_cast<double>(milliseconds) * 0.00001);
}

std::optional<TJpegSize> JpegFrameSize(std::string_view data) {
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(data[i]); };
    if (data.size() < 4 || at(0) != 0xFF || at(1) != 0xD8) return std::nullopt;
    std::size_t pos = 2;
    while (pos + 4 <= data.size()) {
        if (at(pos) != 0xFF) return std::nullopt;
        unsigned char marker = at(pos + 1);
        if (marker == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length field
            pos += 2;
            continue;
        }
        std::size_t length = (std::size_t{at(pos + 2)} << 8) | at(pos + 3);
        if (length < 2) return std::nullopt;
        bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                     marker != 0xCC;
        if (frame) {
            if (pos + 9 > data.size() || length < 7) return std::nullopt;
            TJpegSize size;
            size.height = (at(pos + 5) << 8) | at(pos + 6);
            size.width = (at(pos + 7) << 8) | at(pos + 8);
            return size;
        }
        if (marker == 0xDA || marker == 0xD9) return std::nullopt;  // scan or end before a frame
        pos += 2 + length;
    }
    return std::nullopt;
}

}  // namespace vandrex::dataphone
