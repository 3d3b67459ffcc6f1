#pragma once
// Inputs shared by the compression tests.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vandrex::testdata {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Random(std::size_t size, std::uint32_t seed) {
    std::mt19937 gen(seed);
    Bytes bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(gen());
    return bytes;
}

// Words from a small vocabulary: compressible, but not trivially.
inline Bytes Text(std::size_t size, std::uint32_t seed) {
    static const char* const kWords[] = {"card ", "file ", "phone ", "number ", "the ",
                                         "of ",   "and ",  "mail ",  "picture ", "record\n",
                                         "line ", "data ", "call ",  "address ",  "name, "};
    std::mt19937 gen(seed);
    Bytes bytes;
    while (bytes.size() < size) {
        const std::string word = kWords[gen() % 15];
        bytes.insert(bytes.end(), word.begin(), word.end());
    }
    bytes.resize(size);
    return bytes;
}

// Text, binary noise, runs and repeats in turn.
inline Bytes Mixed(std::size_t size, std::uint32_t seed) {
    std::mt19937 gen(seed);
    Bytes bytes;
    while (bytes.size() < size) {
        const std::size_t len = 1 + gen() % 6000;
        switch (gen() % 4) {
        case 0: {
            const Bytes t = Text(len, gen());
            bytes.insert(bytes.end(), t.begin(), t.end());
            break;
        }
        case 1: {
            const Bytes r = Random(len, gen());
            bytes.insert(bytes.end(), r.begin(), r.end());
            break;
        }
        case 2:
            bytes.insert(bytes.end(), len, static_cast<std::uint8_t>(gen()));
            break;
        default:
            if (bytes.size() > 10) {
                const std::size_t from = gen() % bytes.size();
                const std::size_t n = std::min(len, bytes.size() - from);
                for (std::size_t i = 0; i < n; ++i)
                    bytes.push_back(bytes[from + i]);
            }
        }
    }
    bytes.resize(size);
    return bytes;
}

}  // namespace vandrex::testdata
