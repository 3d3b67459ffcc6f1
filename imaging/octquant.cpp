#include "imaging/octquant.h"

#include <algorithm>
#include <new>

namespace vandrex {

namespace {

constexpr std::size_t kChunkNodes = 1024;

inline int ChildIndex(std::uint8_t red, std::uint8_t green, std::uint8_t blue, int level) {
    const int shift = 7 - level;
    return ((red >> shift) & 1) << 2 | ((green >> shift) & 1) << 1 | ((blue >> shift) & 1);
}

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

void OctQuant::AddColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    OctNode* node = root_;
    for (;;) {
        node->RedSum += red;
        node->GreenSum += green;
        node->BlueSum += blue;
        ++node->PixelCount;
        if (node->Leaf || node->Level >= leafLevel_) return;
        const int index = ChildIndex(red, green, blue, node->Level);
        OctNode* child = node->Child[index];
        if (!child) {
            child = NewNode(node->Level + 1);
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
        for (int y = 0; y < height_; ++y) {
            const std::uint8_t* p = picture_.Row(y);
            for (int x = 0; x < width_; ++x, p += 3) {
                AddColor(p[2], p[1], p[0]);
                if (leafCount_ > limit_) ReduceTree();
            }
        }
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
    const int height = picture.Height();
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = picture.Row(y);
        for (int x = 0; x < picture.Width(); ++x, p += 3) {
            const TRGB& c = palette[quant.IndexOf(p[0], p[1], p[2])];
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
    std::uint8_t* out = indices.data();
    for (int y = 0; y < picture.Height(); ++y) {
        const std::uint8_t* p = picture.Row(y);
        for (int x = 0; x < picture.Width(); ++x, p += 3)
            *out++ = std::uint8_t(quant.IndexOf(p[0], p[1], p[2]) + first);
    }
    std::copy(colors, colors + n, palette + first);
    return n;
}

}  // namespace vandrex
