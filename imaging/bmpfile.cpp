#include "imaging/bmpfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>

#include "imaging/filebytes.h"
#include "platform/exceptions.h"
#include "platform/littleendian.h"

namespace vandrex {

namespace {

[[noreturn]] void BadBmp() { throw EInvalidGraphic("unrecognized BMP"); }

// Raised while parsing only the first bytes of a file when something lies
// beyond them: the whole file is read and parsed instead.
struct TNeedWholeFile {};

// The bytes of a file known so far: its first bytes, or all of it.
struct TFileStart {
    std::span<const std::uint8_t> Bytes;
    std::uint64_t FileSize = 0;

    [[noreturn]] void Beyond() const {
        if (Bytes.size() < FileSize) throw TNeedWholeFile{};
        BadBmp();
    }
    std::uint32_t U16(std::size_t at) const {
        if (at + 2 > Bytes.size()) Beyond();
        return std::uint32_t(Bytes[at]) | std::uint32_t(Bytes[at + 1]) << 8;
    }
    std::uint32_t U32(std::size_t at) const { return U16(at) | U16(at + 2) << 16; }
};

// One component of a bit-field layout, scaled to 0..255.
struct TField {
    std::uint32_t Mask = 0;
    int Shift = 0;
    std::uint32_t Max = 0;

    explicit TField(std::uint32_t mask = 0) : Mask(mask) {
        if (!mask) return;
        Shift = std::countr_zero(mask);
        Max = mask >> Shift;  // contiguous masks; gaps are taken as they come
    }
    std::uint8_t operator()(std::uint32_t px) const {
        if (!Mask) return 0;
        const std::uint64_t v = (px & Mask) >> Shift;
        return std::uint8_t((v * 255 + Max / 2) / Max);
    }
};

enum : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

// Decodes RLE8 / RLE4 into one palette index per pixel, row 0 = bottom row.
// Running out of data before every row was reached is an error.
std::vector<std::uint8_t> DecodeRle(std::span<const std::uint8_t> d, std::size_t pos, int width,
                                    int height, bool four) {
    std::vector<std::uint8_t> idx(std::size_t(width) * height, 0);
    int x = 0, y = 0;
    auto put = [&](std::uint8_t v) {
        if (x < width && y < height) idx[std::size_t(y) * width + x] = v;
        ++x;
    };
    for (;;) {
        if (y >= height) return idx;
        if (pos + 2 > d.size()) BadBmp();
        const std::uint8_t count = d[pos], value = d[pos + 1];
        pos += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i) put(four ? (i & 1 ? value & 15 : value >> 4) : value);
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            return idx;
        } else if (value == 2) {  // delta
            if (pos + 2 > d.size()) BadBmp();
            x += d[pos];
            y += d[pos + 1];
            pos += 2;
        } else {  // absolute run, padded to a 16-bit boundary
            const std::size_t bytes = four ? (value + 1) / 2 : value;
            if (pos + bytes > d.size()) BadBmp();
            for (int i = 0; i < value; ++i)
                put(four ? (i & 1 ? d[pos + i / 2] & 15 : d[pos + i / 2] >> 4) : d[pos + i]);
            pos += bytes + (bytes & 1);
        }
    }
}

// What the headers say: size, pixel format, palette and where the pixels are.
struct TBmpLayout {
    int Width = 0;
    int Height = 0;
    bool TopDown = false;
    std::uint32_t Bpp = 0;
    std::uint32_t Compression = kRgb;
    std::array<TRGB, 256> Palette{};
    std::uint32_t Masks[3] = {};
    std::size_t DataAt = 0;
    std::size_t Stride = 0;  // uncompressed rows only

    bool Rle() const { return Compression == kRle8 || Compression == kRle4; }
};

// Parses and checks the headers and palette; for uncompressed pixels also
// that every row lies inside the file.
TBmpLayout ParseBmp(const TFileStart& f) {
    const std::span<const std::uint8_t> d = f.Bytes;
    const std::uint64_t fileSize = f.FileSize;
    if (fileSize < 14 + 12 || d.size() < 2 || d[0] != 'B' || d[1] != 'M') BadBmp();
    TBmpLayout l;
    const std::uint32_t offBits = f.U32(10);
    const std::uint32_t headerSize = f.U32(14);
    std::int64_t width, height;
    std::uint32_t colorsUsed = 0;
    std::size_t paletteAt, entrySize;
    bool haveMasks = false;
    if (headerSize == 12) {
        width = f.U16(18);
        height = std::int16_t(f.U16(20));
        l.Bpp = f.U16(24);
        paletteAt = 14 + 12;
        entrySize = 3;
    } else if (headerSize >= 40 && headerSize <= fileSize - 14) {
        width = std::int32_t(f.U32(18));
        height = std::int32_t(f.U32(22));
        l.Bpp = f.U16(28);
        l.Compression = f.U32(30);
        colorsUsed = f.U32(46);
        paletteAt = 14 + headerSize;
        entrySize = 4;
        if (l.Compression == kBitFields || l.Compression == kAlphaBitFields) {
            const std::size_t at = headerSize >= 52 ? 14 + 40 : paletteAt;
            for (int i = 0; i < 3; ++i) l.Masks[i] = f.U32(at + 4 * i);
            haveMasks = true;
            if (headerSize < 52) paletteAt += l.Compression == kAlphaBitFields ? 16 : 12;
        }
    } else {
        BadBmp();
    }

    l.TopDown = height < 0;
    if (l.TopDown) height = -height;
    if (width <= 0 || height <= 0 || !TBitmap::SizeAllowed(width, height)) BadBmp();
    const std::uint32_t bpp = l.Bpp;
    switch (l.Compression) {
        case kRgb:
            if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) BadBmp();
            break;
        case kRle8:
            if (bpp != 8) BadBmp();
            break;
        case kRle4:
            if (bpp != 4) BadBmp();
            break;
        case kBitFields:
        case kAlphaBitFields:
            if (bpp != 16 && bpp != 32) BadBmp();
            break;
        default:
            BadBmp();
    }

    if (bpp <= 8) {
        std::size_t entries = colorsUsed ? colorsUsed : std::size_t(1) << bpp;
        entries = std::min<std::size_t>(entries, 256);
        // Writers often store fewer entries than the depth allows: the pixel
        // data offset bounds the table.
        if (offBits > paletteAt) entries = std::min<std::size_t>(entries, (offBits - paletteAt) / entrySize);
        if (paletteAt > fileSize || entries * entrySize > fileSize - paletteAt) BadBmp();
        if (paletteAt + entries * entrySize > d.size()) throw TNeedWholeFile{};
        for (std::size_t i = 0; i < entries; ++i) {
            const std::uint8_t* e = d.data() + paletteAt + i * entrySize;
            l.Palette[i] = {e[2], e[1], e[0]};
        }
        if (offBits == 0) paletteAt += entries * entrySize;
    }
    l.DataAt = offBits ? offBits : paletteAt;
    if (l.DataAt >= fileSize) BadBmp();

    l.Width = int(width);
    l.Height = int(height);
    if (l.Rle()) return l;
    l.Stride = ((std::size_t(l.Width) * bpp + 31) / 32) * 4;
    if (l.Stride * std::size_t(l.Height) > fileSize - l.DataAt) BadBmp();
    if (!haveMasks) {
        if (bpp == 16) {
            l.Masks[0] = 0x7C00, l.Masks[1] = 0x03E0, l.Masks[2] = 0x001F;
        } else if (bpp == 32) {
            l.Masks[0] = 0xFF0000, l.Masks[1] = 0xFF00, l.Masks[2] = 0xFF;
        }
    }
    return l;
}

// The picture row that file row r (rows counted in file order) fills.
std::uint8_t* PictureRow(TBitmap& picture, const TBmpLayout& l, int fileRow) {
    return picture.Row(l.TopDown ? fileRow : l.Height - 1 - fileRow);
}

// Converts one uncompressed file row into blue, green, red pixels.
void ConvertRow(const TBmpLayout& l, const std::uint8_t* in, std::uint8_t* out) {
    const int w = l.Width;
    const std::uint32_t bpp = l.Bpp;
    if (bpp == 24) {
        std::memcpy(out, in, std::size_t(w) * 3);
        return;
    }
    const TField red(l.Masks[0]), green(l.Masks[1]), blue(l.Masks[2]);
    for (int x = 0; x < w; ++x, out += 3) {
        switch (bpp) {
            case 1:
            case 4:
            case 8: {
                const std::size_t bit = std::size_t(x) * bpp;
                const int shift = 8 - int(bpp) - int(bit % 8);
                const TRGB& c = l.Palette[(in[bit / 8] >> shift) & ((1 << bpp) - 1)];
                out[0] = c.Blue, out[1] = c.Green, out[2] = c.Red;
                break;
            }
            case 16: {
                const std::uint8_t* p = in + std::size_t(x) * 2;
                const std::uint32_t px = p[0] | std::uint32_t(p[1]) << 8;
                out[0] = blue(px), out[1] = green(px), out[2] = red(px);
                break;
            }
            default: {
                const std::uint8_t* p = in + std::size_t(x) * 4;
                const std::uint32_t px = p[0] | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                                         std::uint32_t(p[3]) << 24;
                out[0] = blue(px), out[1] = green(px), out[2] = red(px);
                break;
            }
        }
    }
}

// Reads exactly n bytes at offset; false on an error or the end of the file.
bool ReadAt(int fd, void* to, std::size_t n, std::uint64_t offset) {
    auto* p = static_cast<std::uint8_t*>(to);
    while (n > 0) {
        const ssize_t got = ::pread(fd, p, n, off_t(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        n -= std::size_t(got);
        offset += std::uint64_t(got);
    }
    return true;
}

class TFileDescriptor {
public:
    explicit TFileDescriptor(int fd) : fd_(fd) {}
    ~TFileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Headers and palettes of ordinary files lie well inside this.
constexpr std::size_t kHeadBytes = 64 * 1024;

}  // namespace

TBitmap DecodeBmp(std::span<const std::uint8_t> d) {
    const TBmpLayout l = ParseBmp({d, d.size()});
    TBitmap picture(l.Width, l.Height);
    if (l.Rle()) {
        const std::vector<std::uint8_t> idx = DecodeRle(d, l.DataAt, l.Width, l.Height, l.Compression == kRle4);
        for (int r = 0; r < l.Height; ++r) {
            std::uint8_t* out = PictureRow(picture, l, r);
            for (int x = 0; x < l.Width; ++x, out += 3) {
                const TRGB& c = l.Palette[idx[std::size_t(r) * l.Width + x]];
                out[0] = c.Blue;
                out[1] = c.Green;
                out[2] = c.Red;
            }
        }
        return picture;
    }
    for (int r = 0; r < l.Height; ++r)
        ConvertRow(l, d.data() + l.DataAt + std::size_t(r) * l.Stride, PictureRow(picture, l, r));
    return picture;
}

std::vector<std::uint8_t> EncodeBmp(const TBitmap& picture) {
    const int w = picture.Width(), h = picture.Height();
    // Exactly two colours: a 1-bit file, the lower colour value as index 0.
    std::uint32_t colors[2];
    int distinct = 0;
    const auto& px = picture.Data();
    for (std::size_t i = 0; i + 2 < px.size() && distinct <= 2; i += 3) {
        const std::uint32_t v = px[i] | std::uint32_t(px[i + 1]) << 8 | std::uint32_t(px[i + 2]) << 16;
        if (distinct > 0 && v == colors[0]) continue;
        if (distinct > 1 && v == colors[1]) continue;
        if (distinct < 2) colors[distinct] = v;
        ++distinct;
    }
    const bool mono = distinct == 2;
    if (mono && colors[1] < colors[0]) std::swap(colors[0], colors[1]);
    const int bpp = mono ? 1 : 24;
    const std::uint32_t stride = ((std::uint32_t(w) * bpp + 31) / 32) * 4;
    const std::uint32_t paletteBytes = mono ? 8 : 0;
    const std::uint32_t offBits = 14 + 40 + paletteBytes;
    const std::uint32_t imageBytes = stride * std::uint32_t(h);

    std::vector<std::uint8_t> out;
    out.reserve(offBits + imageBytes);
    auto put16 = [&](std::uint32_t v) { AppendLE(out, v, 2); };
    auto put32 = [&](std::uint32_t v) { AppendLE(out, v, 4); };
    out.push_back('B');
    out.push_back('M');
    put32(offBits + imageBytes);
    put32(0);
    put32(offBits);
    put32(40);
    put32(std::uint32_t(w));
    put32(std::uint32_t(h));
    put16(1);
    put16(std::uint32_t(bpp));
    put32(0);  // uncompressed
    put32(imageBytes);
    put32(2835);  // 72 dots per inch
    put32(2835);
    put32(mono ? 2 : 0);
    put32(0);
    if (mono)
        for (std::uint32_t c : colors) put32(c);  // blue, green, red, 0
    for (int y = h - 1; y >= 0; --y) {
        const std::uint8_t* row = picture.Row(y);
        const std::size_t start = out.size();
        if (mono) {
            out.resize(start + stride, 0);
            for (int x = 0; x < w; ++x) {
                const std::uint8_t* p = row + std::size_t(x) * 3;
                const std::uint32_t v = p[0] | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
                if (v == colors[1]) out[start + x / 8] |= std::uint8_t(0x80 >> (x % 8));
            }
        } else {
            out.insert(out.end(), row, row + std::size_t(w) * 3);
            out.resize(start + stride, 0);
        }
    }
    return out;
}

// Uncompressed pictures are read row by row from the file straight into the
// picture (24-bit rows need no conversion at all); compressed ones, and files
// whose headers reach unusually far, are read whole and decoded.
TBitmap LoadBmpFile(const std::string& path) {
    const TFileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) BadBmp();
    struct stat st;
    if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && std::uint64_t(st.st_size) > kHeadBytes) {
        const std::uint64_t size = std::uint64_t(st.st_size);
        std::vector<std::uint8_t> head(kHeadBytes);
        if (!ReadAt(fd.get(), head.data(), head.size(), 0)) BadBmp();
        try {
            const TBmpLayout l = ParseBmp({head, size});
            if (!l.Rle()) {
                TBitmap picture(l.Width, l.Height);
                std::vector<std::uint8_t> row(l.Bpp == 24 ? 0 : l.Stride);
                for (int r = 0; r < l.Height; ++r) {
                    std::uint8_t* out = PictureRow(picture, l, r);
                    const std::uint64_t at = l.DataAt + std::uint64_t(r) * l.Stride;
                    if (l.Bpp == 24) {
                        if (!ReadAt(fd.get(), out, std::size_t(l.Width) * 3, at)) BadBmp();
                    } else {
                        if (!ReadAt(fd.get(), row.data(), row.size(), at)) BadBmp();
                        ConvertRow(l, row.data(), out);
                    }
                }
                return picture;
            }
        } catch (const TNeedWholeFile&) {
        }
    }
    const auto data = ReadFileBytes(path);
    if (!data) BadBmp();
    return DecodeBmp(*data);
}

void SaveBmpFile(const std::string& path, const TBitmap& picture) {
    WriteFileBytes(path, EncodeBmp(picture));
}

}  // namespace vandrex
