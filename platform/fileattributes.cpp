#include "platform/fileattributes.h"

#include <sys/stat.h>
#include <sys/xattr.h>

namespace vandrex {

namespace {
constexpr const char* kXattr = "user.vandrex.attributes";
constexpr std::uint32_t kKeptInXattr = kFileAttributeHidden | kFileAttributeSystem | kFileAttributeArchive;
}  // namespace

std::uint32_t GetFileAttributes(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return kFileAttributeInvalid;
    std::uint32_t attributes = 0;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= kFileAttributeReadOnly;
    std::uint32_t extra = 0;
    if (::getxattr(path.c_str(), kXattr, &extra, sizeof extra) == sizeof extra) attributes |= extra & kKeptInXattr;
    return attributes;
}

bool SetFileAttributes(const std::string& path, std::uint32_t attributes) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777;
    if (attributes & kFileAttributeReadOnly)
        mode &= ~(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    if (mode != (st.st_mode & 07777) && ::chmod(path.c_str(), mode) != 0) return false;
    const std::uint32_t extra = attributes & kKeptInXattr;
    ::setxattr(path.c_str(), kXattr, &extra, sizeof extra, 0);  // unsupported: ignored
    return true;
}

}  // namespace vandrex
