#pragma once
// Whole-file reading and writing for the picture loaders and writers.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vandrex {

// The file's bytes, or nothing when it cannot be opened or read.
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path);
// Creates or truncates path and writes data; throws EInOutError with the
// system's reason on failure.
void WriteFileBytes(const std::string& path, std::span<const std::uint8_t> data);

}  // namespace vandrex
