#pragma once
// The data phone's wire elements and the parsing of what a peer sends.
//
// All texts are 8-bit (Windows-1252) byte strings exactly as they travel.
//   chat line        "Chat:" + text                          (no terminator)
//   picture request  "sendJPEG:Snapshot.jpg\r\n"             (23 bytes)
//   file request     "sendFILE:" + name + "[" + size + "]\r\n"
//   block header     "JPEGLeng:" / "FILELeng:" + length, blanks to 20, "\r\n" (22 bytes)
//   acknowledgement  "sendJPEG:OK" / "sendFILE:OK" / "JPEGLeng:OK" / "FILELeng:OK",
//                    blanks to 20, "\r\n" (22 bytes)
// Blocks hold at most 1024 picture bytes or 2048 file bytes; a shorter block
// ends the transfer, and our sender ends an exact multiple (or an empty
// item) with one 0-length block.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vandrex {

enum class TTransferKind { Picture, File };

namespace dataphone {

inline constexpr std::string_view kChatPrefix = "Chat:";
inline constexpr std::string_view kPictureRequestPrefix = "sendJPEG:";
inline constexpr std::string_view kFileRequestPrefix = "sendFILE:";
inline constexpr std::string_view kPictureHeaderPrefix = "JPEGLeng:";
inline constexpr std::string_view kFileHeaderPrefix = "FILELeng:";
inline constexpr std::string_view kPictureName = "Snapshot.jpg";
inline constexpr std::string_view kLineEnd = "\r\n";

inline constexpr std::size_t kControlLineSize = 22;     // 20 characters + CR LF
inline constexpr std::size_t kPictureBlockSize = 1024;
inline constexpr std::size_t kFileBlockSize = 2048;
inline constexpr std::size_t kMaxChatText = 50;         // the chat edit's limit
inline constexpr std::size_t kMaxRequestLine = 4096;    // a request longer than this is dropped
inline constexpr std::int64_t kMaxPictureBytes = 16 * 1024 * 1024;
inline constexpr std::int64_t kMaxPicturePixels = 16 * 1000 * 1000;

std::size_t BlockSize(TTransferKind kind);
std::string_view HeaderPrefix(TTransferKind kind);
std::string_view RequestPrefix(TTransferKind kind);

// --- Elements we send -------------------------------------------------------

std::string ChatLine(std::string_view text);
std::string PictureRequest();
// name: the file name without its folder, already on the wire's code page.
std::string FileRequest(std::string_view name, std::int64_t size);
// "JPEGLeng:" / "FILELeng:" + length, padded with blanks to 20 characters, CR LF.
std::string BlockHeader(TTransferKind kind, std::size_t length);
std::string RequestAck(TTransferKind kind);
std::string BlockAck(TTransferKind kind);

// A file name as it goes into a request: every byte that cannot travel on one
// request line (NUL, CR, LF) becomes "_". The caller maps characters outside
// the code page to "_" when it encodes the name.
std::string WireName(std::string_view name);
// The same from a name in Unicode: characters outside the code page and those
// that cannot travel on the line become "_".
std::string WireNameFromUnicode(std::u32string_view name);

// --- Parsing what arrives ---------------------------------------------------

// The text up to the first NUL: a NUL cuts chat texts, requests, headers and
// acknowledgements as the peer's stream reads do.
std::string_view CutAtNul(std::string_view text);

// The block length of a header: the characters after the first ":" up to the
// first blank, trimmed, decimal digits only. Nothing when it does not parse
// (no ":", no digits, other characters, or too many digits).
std::optional<std::int64_t> ParseBlockLength(std::string_view header);

// Decimal digits only, no sign; nothing on overflow or any other character.
std::optional<std::int64_t> ParseDecimal(std::string_view digits);

struct TFileRequest {
    std::string name;        // the peer's name after the extension cut, not yet made safe
    std::int64_t size = 0;
};

// A "sendFILE:" line (its CR LF may be left on). The name runs from after the
// prefix to the last "[", the size from there to the final "]". Nothing when
// the brackets are missing or the size does not parse.
std::optional<TFileRequest> ParseFileRequest(std::string_view line);

// The last path component (split at "/" and "\"), cut through the third
// character after its first "."; a name without "." is kept whole.
std::string CutFileName(std::string_view name);

// A name that is safe to create in the working folder: control characters and
// :*?"<>| removed, leading and trailing blanks and dots trimmed, at most
// kMaxStoredName characters (the extension kept), and "Received file" for
// what ends up empty. Never contains "/" or "\".
inline constexpr std::size_t kMaxStoredName = 80;
std::string SafeBaseName(std::string_view name);

// True for the program's own fixed-name files ("Your DataBase.DAT",
// "Snapshot.jpg" ...), compared without case.
bool IsReservedName(std::string_view name);

// Time units of the counters: t milliseconds count t x 0.00001, rounded to
// the nearest integer with halves to even.
std::int64_t TimeUnits(std::int64_t milliseconds);

// What the picture's first frame header declares.
struct TJpegSize {
    int width = 0;
    int height = 0;
};
// Finds the frame header of a JPEG stream; nothing when the data is not a
// JPEG stream or ends before the header.
std::optional<TJpegSize> JpegFrameSize(std::string_view data);

}  // namespace dataphone
}  // namespace vandrex
