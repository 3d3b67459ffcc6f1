#pragma once
// OctQuant: octree colour quantizer. The tree splits colours by one bit of red,
// green and blue per level; leaves are merged, smallest pixel count first and
// deepest level first, until no more than the colour limit remain. The leaves
// become the palette (the average of their pixels) and every pixel maps to the
// leaf its path ends in.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "imaging/bitmap.h"

namespace vandrex {

struct OctNode {
    int Level = 0;
    bool Leaf = false;
    bool Reducible = false;  // in its level's reducible list
    std::int64_t PixelCount = 0;
    int PaletteIndex = 0;
    OctNode* Child[8] = {};
    OctNode* Next = nullptr;  // reducible list links
    OctNode* Prev = nullptr;
    // 64-bit sums: 255 * pixels fits for any picture TBitmap can hold.
    std::uint64_t RedSum = 0;
    std::uint64_t GreenSum = 0;
    std::uint64_t BlueSum = 0;
    int ChildCount = 0;
    OctNode* Parent = nullptr;
    // Pixels added to this end node that its ancestors' sums do not hold yet
    // (see OctQuant::FlushPending).
    std::int64_t PendingCount = 0;
    std::uint64_t PendingRed = 0;
    std::uint64_t PendingGreen = 0;
    std::uint64_t PendingBlue = 0;
    OctNode* NextPending = nullptr;
    bool Pending = false;
};

class OctQuant {
public:
    static constexpr int kMaxColors = 256;

    // The picture must outlive the quantizer. A limit below 1 is taken as 1,
    // above 256 as 256 (the palette holds 256 entries).
    OctQuant(const TBitmap& picture, int colorLimit);
    ~OctQuant();
    OctQuant(const OctQuant&) = delete;
    OctQuant& operator=(const OctQuant&) = delete;

    // Builds the tree over every pixel; false when a node could not be
    // created (the tree is then deleted).
    bool BuildTree();
    // Fills palette[0..n-1] (red, green, blue) and returns n, the number of
    // colours. palette must hold 256 entries.
    int GetPalette(TRGB* palette);
    // Palette index of a pixel's colour (blue, green, red bytes). Valid after
    // GetPalette for colours of the picture; other colours give 0.
    int IndexOf(std::uint8_t blue, std::uint8_t green, std::uint8_t red) const;
    void DeleteTree();

    int LeafLevel() const { return leafLevel_; }
    int LeafCount() const { return leafCount_; }
    int ColorLimit() const { return limit_; }

private:
    OctNode* NewNode(int level);
    void FreeNode(OctNode* node);
    void FreeSubtree(OctNode* node);
    // Adds one pixel along its whole path, creating nodes; returns the node
    // the path ends in.
    OctNode* AddColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
    // Adds one pixel to the end node only, for FlushPending to carry up.
    void AddPending(OctNode* node, std::uint8_t red, std::uint8_t green, std::uint8_t blue);
    void FlushPending();
    void ReduceTree();
    void Unlink(OctNode* node);
    void FillPalette(OctNode* node, int& count);

    const TBitmap& picture_;
    int width_;
    int height_;
    int limit_;
    int leafLevel_ = 8;
    int leafCount_ = 0;
    OctNode* reducible_[8] = {};
    OctNode* root_ = nullptr;
    TRGB palette_[kMaxColors] = {};
    // Nodes come from fixed-size chunks and a free list, so building costs no
    // allocation per pixel.
    std::vector<std::unique_ptr<OctNode[]>> chunks_;
    std::size_t chunkUsed_ = 0;
    OctNode* freeList_ = nullptr;
    OctNode* pending_ = nullptr;
};

// Repaints the picture with at most `limit` colours. progress, when given,
// receives trunc((row + 1) * 100 / (height + 0.5)) after each row.
void ReduceColors(TBitmap& picture, int limit, const std::function<void(int)>& progress = {});

// Quantizes for the GIF writer: indices[i] = palette index + first for every
// pixel (row-major), palette[first..first+n-1] the colours; palette entries
// outside that range are left as they are. Returns n. palette holds 256.
int QuantizeForGif(const TBitmap& picture, int first, int last, std::vector<std::uint8_t>& indices,
                   TRGB* palette);

}  // namespace vandrex
