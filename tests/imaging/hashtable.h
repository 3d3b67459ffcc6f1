#pragma once
// THashTable: the reference LZW string table the GIF coder is checked against,
// a fixed open-addressed hash of 8009 32-bit slots. A slot holds key * 4096 + code, where key = prefix code * 256 + pixel
// (20 bits) and code the string's code (12 bits). A slot is free when its
// value is 0xFFFFF000 or more; clearing fills every byte with 0xFF.
// The GIF coder keeps its own table with a cheaper probe; it must hold the same
// strings under the same codes, which the tests check against this one.

#include <cstdint>
#include <memory>

namespace vandrex::test {

class THashTable {
public:
    static constexpr int kSlots = 8009;

    THashTable();
    void Clear();
    // Code of key, or -1 when absent.
    int Lookup(std::uint32_t key) const;
    // Stores key with code in the first free slot of key's probe sequence.
    void Insert(std::uint32_t key, int code);
    // Lookup that also gives the free slot ending the probe sequence, so a
    // miss can be stored with StoreAt without probing again.
    int Find(std::uint32_t key, int& freeSlot) const {
        int h = HashSlot(key);
        for (int probes = 0; probes < kSlots; ++probes) {
            const std::uint32_t slot = slots_[h];
            if (slot >= kFree) {
                freeSlot = h;
                return -1;
            }
            if ((slot >> 12) == key) return int(slot & 0xFFF);
            h = ProbeNext(h);
        }
        freeSlot = -1;
        return -1;
    }
    void StoreAt(int slot, std::uint32_t key, int code) {
        if (slot >= 0) slots_[slot] = key << 12 | std::uint32_t(code & 0xFFF);
    }

    static int HashSlot(std::uint32_t key) { return int((key ^ (key >> 4)) % kSlots); }
    // The probe sequence doubles the slot modulo 8009 (slot 0 steps to 8008).
    // 2 has order 4004 modulo the prime 8009, so each sequence visits 4004
    // slots, more than the 3837 strings an LZW table holds between Clears:
    // a free slot is always reached.
    static int ProbeNext(int h) {
        const int step = h == 0 ? 1 : kSlots - h;
        h -= step;
        if (h < 0) h += kSlots;
        return h;
    }

private:
    static constexpr std::uint32_t kFree = 0xFFFFF000u;
    std::unique_ptr<std::uint32_t[]> slots_;
};

}  // namespace vandrex::test
