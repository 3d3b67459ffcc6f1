#include "imaging/gifwriter.h"

#include "platform/littleendian.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <stdexcept>

#include "imaging/octquant.h"
#include "platform/exceptions.h"

namespace vandrex {

namespace {

constexpr int kClearCode = 256;
constexpr int kEndCode = 257;

// Collects codes least significant bit first and writes whole bytes as
// length-prefixed sub-blocks of blockMax bytes.
class TCodeSink {
public:
    TCodeSink(std::vector<std::uint8_t>& out, int blockMax) : out_(out), blockMax_(blockMax) {}

    void Put(int code, int size) {
        acc_ |= std::uint64_t(code) << bits_;
        bits_ += size;
        while (bits_ >= 8) {
            block_[len_++] = std::uint8_t(acc_);
            acc_ >>= 8;
            bits_ -= 8;
            if (len_ == blockMax_) FlushBlock();
        }
    }
    // Writes a partial last byte (padded with zero bits), the last sub-block
    // and the terminator.
    void Finish() {
        if (bits_ > 0) {
            block_[len_++] = std::uint8_t(acc_);
            acc_ = 0;
            bits_ = 0;
            if (len_ == blockMax_) FlushBlock();
        }
        FlushBlock();
        out_.push_back(0);
    }

private:
    void FlushBlock() {
        if (len_ == 0) return;
        out_.push_back(std::uint8_t(len_));
        out_.insert(out_.end(), block_, block_ + len_);
        len_ = 0;
    }

    std::vector<std::uint8_t>& out_;
    int blockMax_;
    std::uint8_t block_[256];
    int len_ = 0;
    std::uint64_t acc_ = 0;
    int bits_ = 0;
};

// The LZW coder's private string table: an open-addressed hash of 16384
// slots with linear probing, each slot key * 4096 + code (key = prefix * 256 +
// pixel), all bits set when free. It maps every string to the same code as
// the tests' plain reference table would, since both hold each string exactly
// once and the codes only depend on which strings are present; the cheaper
// slot computation (no division, one xor with a term known from the pixel
// alone) and the lower load keep a lookup short on the coder's critical path.
class TLzwStrings {
public:
    static constexpr std::uint32_t kSlots = 1u << 14;
    static constexpr std::uint32_t kMask = kSlots - 1;
    static constexpr std::uint32_t kFree = 0xFFFFFFFFu;

    TLzwStrings() : slots_(new std::uint32_t[kSlots]) { Clear(); }
    void Clear() { std::memset(slots_.get(), 0xFF, sizeof(std::uint32_t) * kSlots); }

    // First slot of the probe for prefix followed by pixel c: the pixel moved
    // up six bits, so it also fills the two bits above the 12-bit codes.
    static std::uint32_t Home(std::uint32_t prefix, std::uint32_t c) { return (prefix ^ (c << 6)) & kMask; }

    std::uint32_t* Slots() { return slots_.get(); }

private:
    std::unique_ptr<std::uint32_t[]> slots_;
};

// LZW coder. The state lives in locals of one function so the compiler keeps
// it in registers; byte stores into the output would otherwise force every
// member to be reloaded after each code.
void EncodeLzw(std::vector<std::uint8_t>& out, const std::uint8_t* pixels, int width, int height,
               bool interlaced) {
    TLzwStrings table;
    std::uint32_t* const slots = table.Slots();
    // Room for the 254 bytes of a sub-block and the two bytes a code may add
    // past it.
    std::uint8_t block[256];
    std::uint32_t len = 0;
    std::uint32_t acc = 0;
    std::uint32_t bits = 0;
    std::uint32_t size = 9;
    int maxCode = 511, next = 258;
    bool reset = false;

    auto flushBlock = [&](std::uint32_t n) {
        out.push_back(std::uint8_t(n));
        out.insert(out.end(), block, block + n);
    };
    // Appends a code at the current size, least significant bit first; sub-
    // blocks of 254 bytes. The size changes after the code is stored.
    auto emit = [&](std::uint32_t code) {
        // Fewer than 8 bits wait in acc, so with a code of at most 12 bits
        // it holds at most 19: two bytes are stored, the whole ones kept.
        acc |= code << bits;
        bits += size;
        block[len] = std::uint8_t(acc);
        block[len + 1] = std::uint8_t(acc >> 8);
        const std::uint32_t whole = bits >> 3;
        len += whole;
        acc >>= whole * 8;
        bits &= 7;
        if (len >= 254) [[unlikely]] {
            flushBlock(254);
            len -= 254;
            if (len > 0) block[0] = block[254];
        }
        if (next > maxCode || reset) [[unlikely]] {
            if (reset) {
                size = 9;
                maxCode = 511;
                reset = false;
            } else {
                ++size;
                maxCode = size == 12 ? 4096 : (1 << size) - 1;
            }
        }
    };
    auto clear = [&] {
        table.Clear();
        next = 258;
        reset = true;
        emit(kClearCode);
    };

    clear();
    if (pixels && width > 0 && height > 0) {
        // Row order: top to bottom, or the four interlace passes (rows 0, 8,
        // ...; 4, 12, ...; 2, 6, ...; 1, 3, ...).
        std::vector<int> rows;
        rows.reserve(std::size_t(height));
        if (interlaced) {
            static constexpr int kStart[4] = {0, 4, 2, 1};
            static constexpr int kStep[4] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = kStart[pass]; y < height; y += kStep[pass]) rows.push_back(y);
        } else {
            for (int y = 0; y < height; ++y) rows.push_back(y);
        }
        std::uint32_t prefix = pixels[std::size_t(rows[0]) * width];
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const std::uint8_t* row = pixels + std::size_t(rows[r]) * width;
            for (int x = r == 0 ? 1 : 0; x < width; ++x) {
                const std::uint32_t c = row[x];
                const std::uint32_t key = prefix << 8 | c;
                std::uint32_t h = TLzwStrings::Home(prefix, c);
                std::uint32_t slot = slots[h];
                while (slot != TLzwStrings::kFree && (slot >> 12) != key) {
                    h = (h + 1) & TLzwStrings::kMask;
                    slot = slots[h];
                }
                if (slot != TLzwStrings::kFree) {
                    prefix = slot & 0xFFF;
                    continue;
                }
                emit(prefix);
                if (next >= 4095) {
                    clear();
                } else {
                    slots[h] = key << 12 | std::uint32_t(next);
                    ++next;
                }
                prefix = c;
            }
        }
        emit(prefix);
    }
    emit(kEndCode);
    if (bits > 0) block[len++] = std::uint8_t(acc);
    if (len > 0) flushBlock(len);
    out.push_back(0);
}

// Run-length coder. Runs of one pixel are coded with codes the decoder's
// table already holds for runs of that pixel (codes 258 + n - 2 stand for a
// run of n once the decoder has built it); a Clear starts the table again
// whenever that is cheaper than repeating codes.
class TRunLengthCoder {
public:
    explicit TRunLengthCoder(std::vector<std::uint8_t>& out) : sink_(out, 255) {}

    void Encode(const std::uint8_t* pixels, std::int64_t count) {
        DidClear();
        Output(kClearCode);
        for (std::int64_t i = 0; i < count; ++i) {
            const int c = pixels[i];
            if (runCount_ > 0 && c != runPixel_) Flush();
            if (runCount_ > 0 && c == runPixel_) {
                ++runCount_;
            } else {
                runPixel_ = c;
                runCount_ = 1;
            }
        }
        if (runCount_ > 0) Flush();
        Output(kEndCode);
        sink_.Finish();
    }

private:
    static constexpr int kRunBase = 258;
    static constexpr int kMaxCodes = 4096 - (256 + 3);  // 3837 codes between Clears

    void Output(int code) { sink_.Put(code, bits_); }

    void DidClear() {
        bits_ = 9;
        bump_ = 255;
        clearAt_ = 254;
        count_ = 0;
        tableMax_ = 0;
        justCleared_ = true;
    }

    void OutputPlain(int code) {
        justCleared_ = false;
        Output(code);
        ++count_;
        if (count_ >= bump_) {
            ++bits_;
            bump_ += 1 << (bits_ - 1);
        }
        if (count_ >= clearAt_) {
            Output(kClearCode);
            DidClear();
        }
    }

    void ResetClearThreshold() {
        clearAt_ = 254;
        if (count_ >= clearAt_) {
            Output(kClearCode);
            DidClear();
        }
    }

    static std::int64_t IntegerSqrt(std::int64_t x) {
        if (x < 2) return x;
        std::int64_t r = 1;
        for (std::int64_t v = x; v; v >>= 2) r <<= 1;
        for (;;) {
            const std::int64_t v = (x / r + r) / 2;
            if (v == r || v == r + 1) return r;
            r = v;
        }
    }

    // Codes needed for a run of count pixels with at most k codes per table.
    static std::int64_t Cost(std::int64_t count, std::int64_t k) {
        const std::int64_t per = k * (k + 1) / 2;
        std::int64_t cost = (count / per) * k;
        count %= per;
        if (count > 0) {
            std::int64_t n = IntegerSqrt(count);
            while (n > 0 && n * (n + 1) >= 2 * count) --n;
            while (n * (n + 1) < 2 * count) ++n;
            cost += n;
        }
        return cost;
    }

    void FlushFromClear(std::int64_t count) {
        clearAt_ = kMaxCodes;
        tablePixel_ = runPixel_;
        std::int64_t n = 1;
        while (count > 0) {
            if (n == 1) {
                tableMax_ = 1;
                OutputPlain(runPixel_);
                --count;
            } else if (count >= n) {
                tableMax_ = n;
                OutputPlain(int(kRunBase + n - 2));
                count -= n;
            } else if (count == 1) {
                ++tableMax_;
                OutputPlain(runPixel_);
                count = 0;
            } else {
                ++tableMax_;
                OutputPlain(int(kRunBase + count - 2));
                count = 0;
            }
            n = count_ == 0 ? 1 : n + 1;
        }
        ResetClearThreshold();
    }

    void FlushClearOrRepeat(std::int64_t count) {
        if (1 + Cost(count, kMaxCodes) < count) {
            Output(kClearCode);
            DidClear();
            FlushFromClear(count);
        } else {
            for (; count > 0; --count) OutputPlain(runPixel_);
        }
    }

    void FlushWithTable(std::int64_t count) {
        std::int64_t repeats = count / tableMax_;
        std::int64_t leftover = count % tableMax_;
        std::int64_t extra = leftover ? 1 : 0;
        if (count_ + repeats + extra > kMaxCodes) {
            repeats = kMaxCodes - count_;
            leftover = count - repeats * tableMax_;
            extra = 1 + Cost(leftover, kMaxCodes);
        }
        if (1 + Cost(count, kMaxCodes) < repeats + extra) {
            Output(kClearCode);
            DidClear();
            FlushFromClear(count);
            return;
        }
        clearAt_ = kMaxCodes;
        for (; repeats > 0; --repeats) OutputPlain(int(kRunBase + tableMax_ - 2));
        if (leftover) {
            if (justCleared_)
                FlushFromClear(leftover);
            else if (leftover == 1)
                OutputPlain(runPixel_);
            else
                OutputPlain(int(kRunBase + leftover - 2));
        }
        ResetClearThreshold();
    }

    void Flush() {
        if (runCount_ == 1) {
            OutputPlain(runPixel_);
        } else if (justCleared_) {
            FlushFromClear(runCount_);
        } else if (tableMax_ < 2 || tablePixel_ != runPixel_) {
            FlushClearOrRepeat(runCount_);
        } else {
            FlushWithTable(runCount_);
        }
        runCount_ = 0;
    }

    TCodeSink sink_;
    int bits_ = 9;
    std::int64_t bump_ = 255;
    std::int64_t clearAt_ = 254;
    std::int64_t count_ = 0;
    std::int64_t tableMax_ = 0;
    int tablePixel_ = 0;
    bool justCleared_ = true;
    int runPixel_ = 0;
    std::int64_t runCount_ = 0;
};

void Put16(std::vector<std::uint8_t>& out, int value) { AppendLE(out, std::uint16_t(value), 2); }

int Check16(int value, const char* what) {
    if (value < 0 || value > 0xFFFF) throw std::invalid_argument(std::string("GIF ") + what + " out of range");
    return value;
}

// Quantizes the picture into indices 1..255 and a 256-entry colour table
// whose entry 0 is the background.
void Quantize(const TBitmap& picture, TRGB background, std::vector<std::uint8_t>& indices,
              std::uint8_t* table) {
    TRGB palette[256] = {};
    QuantizeForGif(picture, 1, 255, indices, palette);
    palette[0] = background;
    for (int i = 0; i < 256; ++i) {
        table[i * 3] = palette[i].Red;
        table[i * 3 + 1] = palette[i].Green;
        table[i * 3 + 2] = palette[i].Blue;
    }
}

void PutGraphicControl(std::vector<std::uint8_t>& out, const TGifFrameOptions& options) {
    const std::uint8_t head[] = {0x21, 0xF9, 4, std::uint8_t((options.Transparent ? 1 : 0) | 0x08)};
    out.insert(out.end(), std::begin(head), std::end(head));
    Put16(out, Check16(options.Delay, "delay"));
    out.push_back(0);  // transparent colour index
    out.push_back(0);  // block terminator
}

// The image descriptor: place and size, then the packed byte (local colour
// table flag and size, interlace flag). Left and top outside 0..65535 raise
// std::invalid_argument.
void PutImageDescriptor(std::vector<std::uint8_t>& out, const TBitmap& picture, const TGifFrameOptions& options,
                        bool interlaced, bool localTable) {
    out.push_back(0x2C);
    Put16(out, Check16(options.Left, "left"));
    Put16(out, Check16(options.Top, "top"));
    Put16(out, picture.Width());
    Put16(out, picture.Height());
    out.push_back(std::uint8_t((localTable ? 0x80 | 7 : 0) | (interlaced ? 0x40 : 0)));
}

void PutImageData(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& indices,
                  const TBitmap& picture, bool useLzw, bool interlaced) {
    if (useLzw)
        WriteLzwImageData(out, indices.data(), picture.Width(), picture.Height(), interlaced);
    else
        WriteRunLengthImageData(out, indices.data(), picture.Width(), picture.Height());
}

// The frame that insertion adds: graphic control, descriptor with a local
// colour table, pixel data.
void PutInsertedFrame(std::vector<std::uint8_t>& out, const TBitmap& picture, TRGB background,
                      bool useLzw, const TGifFrameOptions& options) {
    std::vector<std::uint8_t> indices;
    std::uint8_t table[768];
    Quantize(picture, background, indices, table);
    const bool interlaced = options.Interlaced && useLzw;
    PutGraphicControl(out, options);
    PutImageDescriptor(out, picture, options, interlaced, true);
    out.insert(out.end(), table, table + 768);
    PutImageData(out, indices, picture, useLzw, interlaced);
}

[[noreturn]] void BadGif() { throw EInvalidGraphic("unrecognized GIF"); }

class TGifReader {
public:
    explicit TGifReader(std::span<const std::uint8_t> data) : data_(data) {}
    bool AtEnd() const { return pos_ >= data_.size(); }
    std::size_t Pos() const { return pos_; }
    std::uint8_t Byte() {
        if (pos_ >= data_.size()) BadGif();
        return data_[pos_++];
    }
    std::span<const std::uint8_t> Take(std::size_t n) {
        if (n > data_.size() - pos_) BadGif();
        auto s = data_.subspan(pos_, n);
        pos_ += n;
        return s;
    }
    // Sub-blocks up to and including the zero terminator, copied to out when
    // out is given.
    void SubBlocks(std::vector<std::uint8_t>* out) {
        for (;;) {
            const std::uint8_t len = Byte();
            auto block = Take(len);
            if (out) {
                out->push_back(len);
                out->insert(out->end(), block.begin(), block.end());
            }
            if (len == 0) return;
        }
    }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
};

enum class TInserted { No, BeforeExtension, AfterImage };

// The block walk shared by insertion and counting; returns the image counter.
// Without putFrame it only counts. out receives the rebuilt blocks (without
// header, loop extension and trailer).
int WalkBlocks(TGifReader& in, std::vector<std::uint8_t>* out, int position,
               const std::function<void()>& putFrame, TInserted& used) {
    int counter = 0;
    bool firstBlock = true;
    while (!in.AtEnd()) {
        const std::uint8_t b = in.Byte();
        if (b == 0x21) {
            const std::uint8_t label = in.Byte();
            if (firstBlock && label == 0xFF) {
                // An existing loop extension is dropped (a new one replaces
                // it); any other application extension is copied.
                const std::uint8_t len = in.Byte();
                auto id = in.Take(len);
                firstBlock = false;
                if (len == 11 && std::memcmp(id.data(), "NETSCAPE2.0", 11) == 0) {
                    in.SubBlocks(nullptr);
                    continue;
                }
                if (out) {
                    out->push_back(0x21);
                    out->push_back(label);
                    out->push_back(len);
                    out->insert(out->end(), id.begin(), id.end());
                }
                if (len != 0) in.SubBlocks(out);
                continue;
            }
            if (label == 0xF9 && counter == position && used == TInserted::No && putFrame) {
                putFrame();
                used = TInserted::BeforeExtension;
            }
            if (out) {
                out->push_back(0x21);
                out->push_back(label);
            }
            in.SubBlocks(out);
        } else if (b == 0x2C) {
            auto desc = in.Take(9);
            if (out) {
                out->push_back(0x2C);
                out->insert(out->end(), desc.begin(), desc.end());
            }
            const std::uint8_t packed = desc[8];
            if (packed & 0x80) {
                auto table = in.Take(std::size_t(3) << ((packed & 7) + 1));
                if (out) out->insert(out->end(), table.begin(), table.end());
            }
            const std::uint8_t minCodeSize = in.Byte();
            if (out) out->push_back(minCodeSize);
            in.SubBlocks(out);
            if (counter + 1 == position && used == TInserted::No && putFrame) {
                putFrame();
                used = TInserted::AfterImage;
                counter += 2;
            } else {
                counter += 1;
            }
        } else if (b == 0x3B) {
            break;
        }
        firstBlock = false;
    }
    return counter;
}

}  // namespace

void WriteLzwImageData(std::vector<std::uint8_t>& out, const std::uint8_t* pixels, int width,
                       int height, bool interlaced) {
    out.push_back(8);
    EncodeLzw(out, pixels, width, height, interlaced);
}

void WriteRunLengthImageData(std::vector<std::uint8_t>& out, const std::uint8_t* pixels, int width,
                             int height) {
    out.push_back(8);
    TRunLengthCoder coder(out);
    const std::int64_t count = pixels && width > 0 && height > 0 ? std::int64_t(width) * height : 0;
    coder.Encode(pixels, count);
}

std::vector<std::uint8_t> EncodeGif(const TBitmap& picture, TRGB background, bool useLzw,
                                    const TGifFrameOptions& options) {
    std::vector<std::uint8_t> indices;
    std::uint8_t table[768];
    Quantize(picture, background, indices, table);
    const bool interlaced = options.Interlaced && useLzw;

    std::vector<std::uint8_t> out;
    out.reserve(800 + indices.size() / 2);
    const char* signature = "GIF89a";
    out.insert(out.end(), signature, signature + 6);
    Put16(out, picture.Width());
    Put16(out, picture.Height());
    out.push_back(0xF7);  // global table of 256 entries, 8-bit resolution
    out.push_back(0);     // background index
    out.push_back(0);     // aspect ratio
    out.insert(out.end(), table, table + 768);
    PutGraphicControl(out, options);
    PutImageDescriptor(out, picture, options, interlaced, false);
    PutImageData(out, indices, picture, useLzw, interlaced);
    out.push_back(0x3B);
    return out;
}

std::vector<std::uint8_t> InsertGifFrame(std::span<const std::uint8_t> file, const TBitmap& picture,
                                         TRGB background, bool useLzw,
                                         const TGifInsertOptions& options, int* imageCount) {
    TGifReader in(file);
    auto header = in.Take(13);
    if (std::memcmp(header.data(), "GIF", 3) != 0) BadGif();
    std::vector<std::uint8_t> head(header.begin(), header.end());
    std::memcpy(head.data() + 3, "89a", 3);
    const std::uint8_t packed = head[10];
    if (packed & 0x80) {
        auto table = in.Take(std::size_t(3) << ((packed & 7) + 1));
        head.insert(head.end(), table.begin(), table.end());
    }

    std::vector<std::uint8_t> body;
    body.reserve(file.size() + 1024 + std::size_t(picture.PixelCount()));
    TInserted used = TInserted::No;
    auto putFrame = [&] { PutInsertedFrame(body, picture, background, useLzw, options); };
    int images = WalkBlocks(in, &body, options.Position, putFrame, used);
    if (used == TInserted::No && options.Position == images) {
        putFrame();
        ++images;
    } else if (used == TInserted::BeforeExtension) {
        ++images;  // the walk's counter does not include a frame put before a block
    }
    body.push_back(0x3B);

    auto grow = [](int old, int request, int offset, int size) {
        if (request != -1) return old;
        return std::min(std::max(old, offset + size), 0xFFFF);
    };
    const int oldWidth = int(GetLE(&head[6], 2));
    const int oldHeight = int(GetLE(&head[8], 2));
    const int width = grow(oldWidth, options.WidthRequest, options.Left, picture.Width());
    const int height = grow(oldHeight, options.HeightRequest, options.Top, picture.Height());
    PutLE(&head[6], std::uint64_t(width), 2);
    PutLE(&head[8], std::uint64_t(height), 2);

    static const std::uint8_t kLoop[19] = {0x21, 0xFF, 11,  'N', 'E', 'T', 'S', 'C', 'A', 'P',
                                           'E',  '2',  '.', '0', 3,   1,   0,   0,   0};
    std::vector<std::uint8_t> out;
    out.reserve(head.size() + sizeof kLoop + body.size());
    out.insert(out.end(), head.begin(), head.end());
    out.insert(out.end(), std::begin(kLoop), std::end(kLoop));
    out.insert(out.end(), body.begin(), body.end());
    if (imageCount) *imageCount = images;
    return out;
}

int CountGifImages(std::span<const std::uint8_t> file) {
    TGifReader in(file);
    auto header = in.Take(13);
    if (std::memcmp(header.data(), "GIF", 3) != 0) BadGif();
    if (header[10] & 0x80) in.Take(std::size_t(3) << ((header[10] & 7) + 1));
    TInserted used = TInserted::No;
    return WalkBlocks(in, nullptr, -1, {}, used);
}

}  // namespace vandrex
