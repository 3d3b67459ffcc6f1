#include "imaging/filebytes.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/exceptions.h"

namespace vandrex {

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::nullopt;
    std::vector<std::uint8_t> data;
    // Sized from the file's length up front, so a large file is read once
    // into place instead of through a growing buffer.
    struct stat st;
    if (::fstat(::fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        data.resize(std::size_t(st.st_size));
        data.resize(std::fread(data.data(), 1, data.size(), f));
    }
    std::uint8_t buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.insert(data.end(), buffer, buffer + n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return std::nullopt;
    return data;
}

void WriteFileBytes(const std::string& path, std::span<const std::uint8_t> data) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw EInOutError("Cannot create file \"" + path + "\": " + std::strerror(errno));
    const bool written = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    const int err = errno;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed)
        throw EInOutError("Cannot write file \"" + path + "\": " + std::strerror(written ? errno : err));
}

}  // namespace vandrex
