#include "imaging/bmpfile.h"

#include "platform/littleendian.h"

#include <algorithm>
#include <array>
#include <bit>

#include "imaging/filebytes.h"
#include "platform/exceptions.h"

namespace vandrex {

namespace {

[[noreturn]] void BadBmp() { throw EInvalidGraphic("unrecognized BMP"); }

std::uint32_t U16(std::span<const std::uint8_t> d, std::size_t at) {
    if (at + 2 > d.size()) BadBmp();
    return static_cast<std::uint32_t>(GetLE(&d[at], 2));
}
std::uint32_t U32(std::span<const std::uint8_t> d, std::size_t at) {
    if (at + 4 > d.size()) BadBmp();
    return U16(d, at) | U16(d, at + 2) << 16;
}

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

}  // namespace

TBitmap DecodeBmp(std::span<const std::uint8_t> d) {
    if (d.size() < 14 + 12 || d[0] != 'B' || d[1] != 'M') BadBmp();
    const std::uint32_t offBits = U32(d, 10);
    const std::uint32_t headerSize = U32(d, 14);
    std::int64_t width, height;
    std::uint32_t bpp, compression = kRgb, colorsUsed = 0;
    std::size_t paletteAt, entrySize;
    std::uint32_t masks[3] = {};
    bool haveMasks = false;
    if (headerSize == 12) {
        width = U16(d, 18);
        height = std::int16_t(U16(d, 20));
        bpp = U16(d, 24);
        paletteAt = 14 + 12;
        entrySize = 3;
    } else if (headerSize >= 40 && headerSize <= d.size() - 14) {
        width = std::int32_t(U32(d, 18));
        height = std::int32_t(U32(d, 22));
        bpp = U16(d, 28);
        compression = U32(d, 30);
        colorsUsed = U32(d, 46);
        paletteAt = 14 + headerSize;
        entrySize = 4;
        if (compression == kBitFields || compression == kAlphaBitFields) {
            const std::size_t at = headerSize >= 52 ? 14 + 40 : paletteAt;
            for (int i = 0; i < 3; ++i) masks[i] = U32(d, at + 4 * i);
            haveMasks = true;
            if (headerSize < 52) paletteAt += compression == kAlphaBitFields ? 16 : 12;
        }
    } else {
        BadBmp();
    }

    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || !TBitmap::SizeAllowed(width, height)) BadBmp();
    switch (compression) {
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

    std::array<TRGB, 256> palette{};
    if (bpp <= 8) {
        std::size_t entries = colorsUsed ? colorsUsed : std::size_t(1) << bpp;
        entries = std::min<std::size_t>(entries, 256);
        // Writers often store fewer entries than the depth allows: the pixel
        // data offset bounds the table.
        if (offBits > paletteAt) entries = std::min<std::size_t>(entries, (offBits - paletteAt) / entrySize);
        if (paletteAt > d.size() || entries * entrySize > d.size() - paletteAt) BadBmp();
        for (std::size_t i = 0; i < entries; ++i) {
            const std::uint8_t* e = d.data() + paletteAt + i * entrySize;
            palette[i] = {e[2], e[1], e[0]};
        }
        if (offBits == 0) paletteAt += entries * entrySize;
    }
    const std::size_t dataAt = offBits ? offBits : paletteAt;
    if (dataAt >= d.size()) BadBmp();

    const int w = int(width), h = int(height);
    TBitmap picture(w, h);
    auto outRow = [&](int fileRow) { return picture.Row(topDown ? fileRow : h - 1 - fileRow); };

    if (compression == kRle8 || compression == kRle4) {
        const std::vector<std::uint8_t> idx = DecodeRle(d, dataAt, w, h, compression == kRle4);
        for (int r = 0; r < h; ++r) {
            std::uint8_t* out = outRow(r);
            for (int x = 0; x < w; ++x, out += 3) {
                const TRGB& c = palette[idx[std::size_t(r) * w + x]];
                out[0] = c.Blue;
                out[1] = c.Green;
                out[2] = c.Red;
            }
        }
        return picture;
    }

    const std::size_t stride = ((std::size_t(w) * bpp + 31) / 32) * 4;
    if (stride * std::size_t(h) > d.size() - dataAt) BadBmp();
    if (!haveMasks) {
        if (bpp == 16) {
            masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
        } else if (bpp == 32) {
            masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
        }
    }
    const TField red(masks[0]), green(masks[1]), blue(masks[2]);
    for (int r = 0; r < h; ++r) {
        const std::uint8_t* in = d.data() + dataAt + std::size_t(r) * stride;
        std::uint8_t* out = outRow(r);
        for (int x = 0; x < w; ++x, out += 3) {
            switch (bpp) {
                case 1:
                case 4:
                case 8: {
                    const std::size_t bit = std::size_t(x) * bpp;
                    const int shift = 8 - bpp - int(bit % 8);
                    const TRGB& c = palette[(in[bit / 8] >> shift) & ((1 << bpp) - 1)];
                    out[0] = c.Blue, out[1] = c.Green, out[2] = c.Red;
                    break;
                }
                case 24: {
                    const std::uint8_t* p = in + std::size_t(x) * 3;
                    out[0] = p[0], out[1] = p[1], out[2] = p[2];
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
                    const std::uint32_t px = p[0] | std::uint32_t(p[1]) << 8 |
                                             std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
                    out[0] = blue(px), out[1] = green(px), out[2] = red(px);
                    break;
                }
            }
        }
    }
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

TBitmap LoadBmpFile(const std::string& path) {
    const auto data = ReadFileBytes(path);
    if (!data) BadBmp();
    return DecodeBmp(*data);
}

void SaveBmpFile(const std::string& path, const TBitmap& picture) {
    WriteFileBytes(path, EncodeBmp(picture));
}

}  // namespace vandrex
