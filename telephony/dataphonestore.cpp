#include "telephony/dataphonestore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <utility>

#include "platform/codepage.h"
#include "platform/exceptions.h"

namespace vandrex {

namespace {

[[noreturn]] void ThrowIo(const std::string& what, int err) {
    throw EInOutError(what + ": " + std::strerror(err));
}

std::string TemporaryName() {
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 random{std::random_device{}()};
    return ".vandrex-receiving-" + std::to_string(getpid()) + "-" +
           std::to_string(counter.fetch_add(1)) + "-" + std::to_string(random() % 1000000);
}

}  // namespace

void CheckPictureHeader(std::string_view jpeg) {
    auto size = dataphone::JpegFrameSize(jpeg);
    if (!size || size->width == 0 || size->height == 0)
        throw EInvalidGraphic("The received picture is not a JPEG picture - the old picture is kept.");
    if (std::int64_t{size->width} * size->height > dataphone::kMaxPicturePixels)
        throw EInvalidGraphic("The received picture declares " + std::to_string(size->width) + " x " +
                              std::to_string(size->height) +
                              " pixels, more than 16 megapixels - the old picture is kept.");
}

TDataPhoneStore::TDataPhoneStore(const std::string& folder) : folder_(folder) {
    dirFd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0) ThrowIo("Cannot open the folder \"" + folder + "\"", errno);
}

TDataPhoneStore::~TDataPhoneStore() {
    Abort();
    if (dirFd_ >= 0) ::close(dirFd_);
}

std::string TDataPhoneStore::StoredName(std::string_view peerName) {
    std::string name = dataphone::SafeBaseName(peerName);
    if (dataphone::IsReservedName(name)) name = "_" + name;
    return AnsiToUtf8(name);
}

void TDataPhoneStore::Begin(TTransferKind kind, const std::string& peerName, std::int64_t) {
    Abort();
    kind_ = kind;
    picture_.clear();
    target_ = kind == TTransferKind::Picture ? std::string(dataphone::kPictureName) : StoredName(peerName);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = TemporaryName();
        // O_EXCL never follows a link that may stand under this name.
        int fd = ::openat(dirFd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            tempFd_ = fd;
            tempName_ = name;
            return;
        }
        if (errno != EEXIST) ThrowIo("Cannot create \"" + target_ + "\"", errno);
    }
    throw EInOutError("Cannot create \"" + target_ + "\": no free temporary name");
}

void TDataPhoneStore::Append(std::string_view bytes) {
    if (tempFd_ < 0) throw EInOutError("No file is being received");
    if (kind_ == TTransferKind::Picture) picture_.append(bytes);
    while (!bytes.empty()) {
        ssize_t n = ::write(tempFd_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowIo("Cannot write \"" + target_ + "\"", errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string TDataPhoneStore::Commit() {
    if (tempFd_ < 0) throw EInOutError("No file is being received");
    try {
        if (kind_ == TTransferKind::Picture) {
            CheckPictureHeader(picture_);
            if (pictureCheck_) pictureCheck_(picture_);
        }
        if (::close(std::exchange(tempFd_, -1)) != 0) ThrowIo("Cannot write \"" + target_ + "\"", errno);
        if (::renameat(dirFd_, tempName_.c_str(), dirFd_, target_.c_str()) != 0)
            ThrowIo("Cannot store \"" + target_ + "\"", errno);
    } catch (...) {
        Abort();
        throw;
    }
    tempName_.clear();
    picture_.clear();
    return target_;
}

void TDataPhoneStore::CloseTemporary() noexcept {
    if (tempFd_ >= 0) ::close(std::exchange(tempFd_, -1));
}

void TDataPhoneStore::Abort() noexcept {
    CloseTemporary();
    if (!tempName_.empty()) {
        ::unlinkat(dirFd_, tempName_.c_str(), 0);
        tempName_.clear();
    }
    picture_.clear();
}

TDataPhoneFileSource::TDataPhoneFileSource(const std::string& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) ThrowIo("Cannot open \"" + path + "\"", errno);
    struct stat st {};
    bool ok = ::fstat(fd_, &st) == 0;
    if (!ok || !S_ISREG(st.st_mode)) {
        int err = ok ? EISDIR : errno;
        ::close(fd_);
        fd_ = -1;
        ThrowIo("Cannot open \"" + path + "\"", err);
    }
    size_ = st.st_size;
}

TDataPhoneFileSource::~TDataPhoneFileSource() {
    if (fd_ >= 0) ::close(fd_);
}

std::size_t TDataPhoneFileSource::Read(char* buffer, std::size_t max) {
    std::size_t got = 0;
    while (got < max) {
        ssize_t n = ::read(fd_, buffer + got, max - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowIo("Cannot read \"" + path_ + "\"", errno);
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

}  // namespace vandrex
