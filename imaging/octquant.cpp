#include "imaging/octquant.h"

#include <algorithm>
#include <bit>
#include <new>

namespace vandrex {

namespace {

constexpr std::size_t kChunkNodes = 1024;

inline int ChildIndex(std::uint8_t red, std::uint8_t green, std::uint8_t blue, int level) {
    const int shift = 7 - level;
    return ((red >> shift) & 1) << 2 | ((green >> shift) & 1) << 1 | ((blue >> shift) & 1);
}

// Bits of the caches below for a picture of this many pixels: small pictures
// keep small tables.
int CacheBits(std::int64_t pixels) {
    return std::clamp(int(std::bit_width(std::uint64_t(std::max<std::int64_t>(pixels, 1)))) - 2, 8, 16);
}

// The colour bits a path down to `level` depends on, as 0xRRGGBB.
std::uint32_t LevelMask(int level) {
    const std::uint32_t m = (0xFFu << (8 - level)) & 0xFFu;
    return m << 16 | m << 8 | m;
}

std::uint32_t Rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return std::uint32_t(red) << 16 | std::uint32_t(green) << 8 | blue;
}

// Direct-mapped cache slot of a masked colour.
std::size_t CacheSlot(std::uint32_t key, int bits) { return (key * 0x9E3779B1u) >> (32 - bits); }

// Palette index by colour for a finished tree: a path, and so the index,
// depends only on the top leaf-level bits of each component, and pictures
// repeat those far more often than the tree has end nodes.
class TIndexCache {
public:
    TIndexCache(const OctQuant& quant, std::int64_t pixels)
        : quant_(quant),
          bits_(CacheBits(pixels)),
          mask_(LevelMask(quant.LeafLevel())),
          tags_(std::size_t(1) << bits_, kEmpty),
          indices_(std::size_t(1) << bits_) {}

    int IndexOf(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
        const std::uint32_t key = Rgb(red, green, blue) & mask_;
        const std::size_t slot = CacheSlot(key, bits_);
        if (tags_[slot] != key) {
            tags_[slot] = key;
            indices_[slot] = std::uint8_t(quant_.IndexOf(blue, green, red));
        }
        return indices_[slot];
    }

private:
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;  // no 24-bit key
    const OctQuant& quant_;
    int bits_;
    std::uint32_t mask_;
    std::vector<std::uint32_t> tags_;
    std::vector<std::uint8_t> indices_;
};

}  // namespace

OctQuant::OctQuant(const TBitmap& picture, int colorLimit)
    : picture_(picture),
      width_(picture.Width()),
      height_(picture.Height()),
      limit_(std::clamp(colorLimit, 1, kMaxColors)) {}

OctQuant::~OctQuant() { DeleteTree(); }

OctNode* OctQuant::NewNode(int level) {
    OctNode* node;
    if (freeList_) {
        node = freeList_;
        freeList_ = node->Next;
    } else {
        if (chunks_.empty() || chunkUsed_ == kChunkNodes) {
            chunks_.push_back(std::unique_ptr<OctNode[]>(new OctNode[kChunkNodes]));
            chunkUsed_ = 0;
        }
        node = &chunks_.back()[chunkUsed_++];
    }
    *node = OctNode{};
    node->Level = level;
    if (level >= leafLevel_) {
        node->Leaf = true;
        ++leafCount_;
    }
    return node;
}

void OctQuant::FreeNode(OctNode* node) {
    node->Next = freeList_;
    freeList_ = node;
}

void OctQuant::FreeSubtree(OctNode* node) {
    for (OctNode*& child : node->Child) {
        if (child) {
            FreeSubtree(child);
            child = nullptr;
        }
    }
    if (node->Reducible) Unlink(node);
    if (node->Leaf) --leafCount_;
    FreeNode(node);
}

void OctQuant::Unlink(OctNode* node) {
    if (node->Prev)
        node->Prev->Next = node->Next;
    else
        reducible_[node->Level] = node->Next;
    if (node->Next) node->Next->Prev = node->Prev;
    node->Next = node->Prev = nullptr;
    node->Reducible = false;
}

OctNode* OctQuant::AddColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    OctNode* node = root_;
    for (;;) {
        node->RedSum += red;
        node->GreenSum += green;
        node->BlueSum += blue;
        ++node->PixelCount;
        if (node->Leaf || node->Level >= leafLevel_) return node;
        const int index = ChildIndex(red, green, blue, node->Level);
        OctNode* child = node->Child[index];
        if (!child) {
            child = NewNode(node->Level + 1);
            child->Parent = node;
            node->Child[index] = child;
            ++node->ChildCount;
        }
        if (node->ChildCount > 1 && !node->Reducible) {
            node->Reducible = true;
            node->Prev = nullptr;
            node->Next = reducible_[node->Level];
            if (node->Next) node->Next->Prev = node;
            reducible_[node->Level] = node;
        }
        node = child;
    }
}

void OctQuant::AddPending(OctNode* node, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    node->PendingRed += red;
    node->PendingGreen += green;
    node->PendingBlue += blue;
    ++node->PendingCount;
    if (!node->Pending) {
        node->Pending = true;
        node->NextPending = pending_;
        pending_ = node;
    }
}

// Carries the pending pixels of end nodes up their paths, so every node's
// sums and count are what adding each pixel along its whole path gives.
void OctQuant::FlushPending() {
    for (OctNode* node = pending_; node;) {
        OctNode* next = node->NextPending;
        for (OctNode* n = node; n; n = n->Parent) {
            n->RedSum += node->PendingRed;
            n->GreenSum += node->PendingGreen;
            n->BlueSum += node->PendingBlue;
            n->PixelCount += node->PendingCount;
        }
        node->PendingRed = node->PendingGreen = node->PendingBlue = 0;
        node->PendingCount = 0;
        node->Pending = false;
        node->NextPending = nullptr;
        node = next;
    }
    pending_ = nullptr;
}

void OctQuant::ReduceTree() {
    int level = leafLevel_ - 1;
    while (level >= 0 && !reducible_[level]) --level;
    if (level < 0) return;
    // Smallest pixel count; on a tie the node met first from the head (the
    // most recently added) wins.
    OctNode* chosen = reducible_[level];
    for (OctNode* n = chosen->Next; n; n = n->Next)
        if (n->PixelCount < chosen->PixelCount) chosen = n;
    Unlink(chosen);
    for (OctNode*& child : chosen->Child) {
        if (child) {
            FreeSubtree(child);
            child = nullptr;
        }
    }
    chosen->ChildCount = 0;
    chosen->Leaf = true;
    ++leafCount_;
    if (chosen->Level < leafLevel_ - 1) leafLevel_ = chosen->Level + 1;
}

bool OctQuant::BuildTree() {
    DeleteTree();
    try {
        root_ = NewNode(0);
        // Between two reductions the tree only grows, so the node a colour's
        // path ends in stays the same and depends only on the colour's top
        // leaf-level bits: a cache of end nodes by those bits, stamped with
        // the number of reductions so far, spares walking the tree for each
        // pixel. Pixels that hit the cache add to their end node only; the
        // sums reach the ancestors before anything reads them (a reduction,
        // the palette).
        const int bits = CacheBits(std::int64_t(width_) * height_);
        std::vector<std::uint64_t> tags(std::size_t(1) << bits, ~std::uint64_t{0});
        std::vector<OctNode*> ends(std::size_t(1) << bits);
        std::uint64_t reductions = 0;
        std::uint32_t mask = LevelMask(leafLevel_);
        for (int y = 0; y < height_; ++y) {
            const std::uint8_t* p = picture_.Row(y);
            for (int x = 0; x < width_; ++x, p += 3) {
                const std::uint32_t key = Rgb(p[2], p[1], p[0]) & mask;
                const std::uint64_t tag = reductions << 24 | key;
                const std::size_t slot = CacheSlot(key, bits);
                if (tags[slot] == tag) {
                    AddPending(ends[slot], p[2], p[1], p[0]);
                } else {
                    ends[slot] = AddColor(p[2], p[1], p[0]);
                    tags[slot] = tag;
                }
                if (leafCount_ > limit_) {
                    FlushPending();
                    ReduceTree();
                    ++reductions;
                    mask = LevelMask(leafLevel_);
                }
            }
        }
        FlushPending();
    } catch (const std::bad_alloc&) {
        DeleteTree();
        return false;
    }
    return true;
}

void OctQuant::FillPalette(OctNode* node, int& count) {
    if (node->Leaf || node->Level >= leafLevel_) {
        if (count >= kMaxColors) return;  // cannot happen: leaves never exceed the limit
        const std::uint64_t n = node->PixelCount ? node->PixelCount : 1;
        palette_[count] = {std::uint8_t(node->RedSum / n), std::uint8_t(node->GreenSum / n),
                           std::uint8_t(node->BlueSum / n)};
        node->PaletteIndex = count++;
        return;
    }
    for (OctNode* child : node->Child)
        if (child) FillPalette(child, count);
}

int OctQuant::GetPalette(TRGB* palette) {
    int count = 0;
    if (root_) FillPalette(root_, count);
    std::copy(palette_, palette_ + count, palette);
    return count;
}

int OctQuant::IndexOf(std::uint8_t blue, std::uint8_t green, std::uint8_t red) const {
    const OctNode* node = root_;
    if (!node) return 0;
    while (!node->Leaf && node->Level < leafLevel_) {
        const OctNode* child = node->Child[ChildIndex(red, green, blue, node->Level)];
        if (!child) return 0;
        node = child;
    }
    return node->PaletteIndex;
}

void OctQuant::DeleteTree() {
    chunks_.clear();
    chunkUsed_ = 0;
    freeList_ = nullptr;
    pending_ = nullptr;
    root_ = nullptr;
    std::fill(std::begin(reducible_), std::end(reducible_), nullptr);
    leafCount_ = 0;
    leafLevel_ = 8;
}

void ReduceColors(TBitmap& picture, int limit, const std::function<void(int)>& progress) {
    if (picture.Empty()) return;
    OctQuant quant(picture, limit);
    if (!quant.BuildTree()) throw std::bad_alloc();
    TRGB palette[OctQuant::kMaxColors];
    quant.GetPalette(palette);
    TIndexCache cache(quant, picture.PixelCount());
    const int height = picture.Height();
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = picture.Row(y);
        for (int x = 0; x < picture.Width(); ++x, p += 3) {
            const TRGB& c = palette[cache.IndexOf(p[0], p[1], p[2])];
            p[0] = c.Blue;
            p[1] = c.Green;
            p[2] = c.Red;
        }
        if (progress) progress(int((y + 1) * 100 / (height + 0.5)));
    }
}

int QuantizeForGif(const TBitmap& picture, int first, int last, std::vector<std::uint8_t>& indices,
                   TRGB* palette) {
    indices.assign(std::size_t(picture.PixelCount()), 0);
    if (picture.Empty()) return 0;
    first = std::clamp(first, 0, 255);
    last = std::clamp(last, first, 255);
    OctQuant quant(picture, last - first + 1);
    if (!quant.BuildTree()) throw std::bad_alloc();
    TRGB colors[OctQuant::kMaxColors];
    const int n = quant.GetPalette(colors);
    TIndexCache cache(quant, picture.PixelCount());
    std::uint8_t* out = indices.data();
    for (int y = 0; y < picture.Height(); ++y) {
        const std::uint8_t* p = picture.Row(y);
        for (int x = 0; x < picture.Width(); ++x, p += 3)
            *out++ = std::uint8_t(cache.IndexOf(p[0], p[1], p[2]) + first);
    }
    std::copy(colors, colors + n, palette + first);
    return n;
}

}  // namespace vandrex
