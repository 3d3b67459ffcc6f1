#include "tests/imaging/plainoctree.h"

#include <algorithm>
#include <memory>

namespace vandrex::test {

namespace {

struct TNode {
    int Level = 0;
    bool Leaf = false;
    std::int64_t Count = 0;
    std::uint64_t Red = 0, Green = 0, Blue = 0;
    int Index = 0;
    std::unique_ptr<TNode> Child[8];
    int Children = 0;
};

class TPlainTree {
public:
    explicit TPlainTree(int limit) : limit_(std::clamp(limit, 1, 256)) { root_ = Make(0); }

    void Add(TRGB c) {
        TNode* node = root_.get();
        for (;;) {
            node->Red += c.Red;
            node->Green += c.Green;
            node->Blue += c.Blue;
            ++node->Count;
            if (Ends(node)) break;
            std::unique_ptr<TNode>& child = node->Child[ChildOf(c, node->Level)];
            if (!child) {
                child = Make(node->Level + 1);
                ++node->Children;
            }
            // A node joins its level's list (at the front) when it first has
            // two children.
            if (node->Children > 1 && std::find(reducible_[node->Level].begin(), reducible_[node->Level].end(),
                                                node) == reducible_[node->Level].end())
                reducible_[node->Level].insert(reducible_[node->Level].begin(), node);
            node = child.get();
        }
        if (leaves_ > limit_) Reduce();
    }

    void Finish(TPlainQuantized& out) {
        Fill(root_.get(), out.Palette);
        out.LeafLevel = leafLevel_;
    }

    int IndexOf(TRGB c) const {
        const TNode* node = root_.get();
        while (!Ends(node)) {
            const TNode* child = node->Child[ChildOf(c, node->Level)].get();
            if (!child) return 0;
            node = child;
        }
        return node->Index;
    }

private:
    static int ChildOf(TRGB c, int level) {
        const int s = 7 - level;
        return ((c.Red >> s) & 1) << 2 | ((c.Green >> s) & 1) << 1 | ((c.Blue >> s) & 1);
    }
    bool Ends(const TNode* node) const { return node->Leaf || node->Level >= leafLevel_; }

    std::unique_ptr<TNode> Make(int level) {
        auto node = std::make_unique<TNode>();
        node->Level = level;
        if (level >= leafLevel_) {
            node->Leaf = true;
            ++leaves_;
        }
        return node;
    }

    // Forgets a subtree: its leaves stop counting, its nodes leave the lists.
    void Drop(TNode* node) {
        for (auto& child : node->Child)
            if (child) Drop(child.get());
        if (node->Level < 8) {  // only inner levels have lists
            auto& list = reducible_[node->Level];
            list.erase(std::remove(list.begin(), list.end(), node), list.end());
        }
        if (node->Leaf) --leaves_;
    }

    void Reduce() {
        int level = leafLevel_ - 1;
        while (level >= 0 && reducible_[level].empty()) --level;
        if (level < 0) return;
        auto& list = reducible_[level];
        TNode* chosen = list.front();
        for (TNode* n : list)
            if (n->Count < chosen->Count) chosen = n;
        list.erase(std::find(list.begin(), list.end(), chosen));
        for (auto& child : chosen->Child) {
            if (child) Drop(child.get());
            child.reset();
        }
        chosen->Children = 0;
        chosen->Leaf = true;
        ++leaves_;
        if (chosen->Level < leafLevel_ - 1) leafLevel_ = chosen->Level + 1;
    }

    void Fill(TNode* node, std::vector<TRGB>& palette) {
        if (Ends(node)) {
            const std::uint64_t n = node->Count ? node->Count : 1;
            node->Index = int(palette.size());
            palette.push_back({std::uint8_t(node->Red / n), std::uint8_t(node->Green / n), std::uint8_t(node->Blue / n)});
            return;
        }
        for (auto& child : node->Child)
            if (child) Fill(child.get(), palette);
    }

    int limit_;
    int leafLevel_ = 8;
    int leaves_ = 0;
    std::vector<TNode*> reducible_[8];
    std::unique_ptr<TNode> root_;
};

}  // namespace

TPlainQuantized PlainOctreeQuantize(const TBitmap& picture, int colorLimit) {
    TPlainQuantized out;
    if (picture.Empty()) return out;
    TPlainTree tree(colorLimit);
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) tree.Add(picture.Color(x, y));
    tree.Finish(out);
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) out.Indices.push_back(tree.IndexOf(picture.Color(x, y)));
    return out;
}

}  // namespace vandrex::test
