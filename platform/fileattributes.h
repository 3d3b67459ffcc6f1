#pragma once
// File attributes of the desktop file system, on a POSIX file system.
//
// Read-only is the file's write permission. Hidden, system and archive have
// no POSIX counterpart; they are kept in the extended attribute
// "user.vandrex.attributes" where the file system supports one, and are
// otherwise dropped silently (the file stays usable).

#include <cstdint>
#include <string>

namespace vandrex {

constexpr std::uint32_t kFileAttributeReadOnly = 0x01;
constexpr std::uint32_t kFileAttributeHidden = 0x02;
constexpr std::uint32_t kFileAttributeSystem = 0x04;
constexpr std::uint32_t kFileAttributeArchive = 0x20;
constexpr std::uint32_t kFileAttributeInvalid = 0xFFFFFFFF;

// The attributes of a file, or kFileAttributeInvalid when it does not exist.
std::uint32_t GetFileAttributes(const std::string& path);
// Replaces all attributes; false when the file does not exist or the
// permissions cannot be changed.
bool SetFileAttributes(const std::string& path, std::uint32_t attributes);

}  // namespace vandrex
