#pragma once
// Inputs shared by the compression tests.

#include <algorithm>
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
                                         "of ",   "mail ", "picture ", "record\n", "name, "};
    std::mt19937 gen(seed);
    std::string text;
    while (text.size() < size)
        text += kWords[gen() % 10];
    return Bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size));
}

// Text, noise, runs and repeats of earlier stretches in turn.
inline Bytes Mixed(std::size_t size, std::uint32_t seed) {
    std::mt19937 gen(seed);
    Bytes bytes;
    while (bytes.size() < size) {
        const std::size_t len = 1 + gen() % 6000;
        const Bytes part = gen() % 2 ? Text(len, gen()) : Random(len, gen());
        switch (gen() % 4) {
        case 0:
        case 1:
            bytes.insert(bytes.end(), part.begin(), part.end());
            break;
        case 2:
            bytes.insert(bytes.end(), len, static_cast<std::uint8_t>(gen()));
            break;
        default:
            const std::size_t from = bytes.empty() ? 0 : gen() % bytes.size();
            for (std::size_t i = 0; i < std::min(len, bytes.size() - from); ++i)
                bytes.push_back(bytes[from + i]);
        }
    }
    bytes.resize(size);
    return bytes;
}

}  // namespace vandrex::testdata
