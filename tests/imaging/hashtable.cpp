#include "tests/imaging/hashtable.h"

#include <cstring>

namespace vandrex::test {

THashTable::THashTable() : slots_(new std::uint32_t[kSlots]) { Clear(); }

void THashTable::Clear() { std::memset(slots_.get(), 0xFF, sizeof(std::uint32_t) * kSlots); }

int THashTable::Lookup(std::uint32_t key) const {
    int h = HashSlot(key);
    // Bounded by the table size as a guard; the probe sequence always meets a
    // free slot long before.
    for (int probes = 0; probes < kSlots; ++probes) {
        const std::uint32_t slot = slots_[h];
        if (slot >= kFree) return -1;
        if ((slot >> 12) == key) return int(slot & 0xFFF);
        h = ProbeNext(h);
    }
    return -1;
}

void THashTable::Insert(std::uint32_t key, int code) {
    int h = HashSlot(key);
    for (int probes = 0; probes < kSlots; ++probes) {
        if (slots_[h] >= kFree) {
            slots_[h] = key << 12 | std::uint32_t(code & 0xFFF);
            return;
        }
        h = ProbeNext(h);
    }
}

}  // namespace vandrex::test
