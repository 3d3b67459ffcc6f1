#include "app/carddatabase.h"
#include "platform/littleendian.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

#include "platform/exceptions.h"

// Durability and sharing.
//
// Every change that touches more than one record (erase, sort) is made crash
// safe with a redo journal beside the card file ("<file>-journal"): the new
// contents of every record that changes and the final file size are written
// to the journal and flushed to disc first; only then is the card file
// changed in place, flushed, and the journal removed. Whoever takes the file
// lock next and finds a complete journal applies it again (applying twice is
// harmless); an incomplete one was never acted on and is dropped. The card
// file itself is never replaced, because other running copies keep it open.
//
// Running copies guard the file with flock() on their own descriptors:
// shared for reads, exclusive for writes and journal work. A store or erase
// only touches the card this copy last read; when another copy has moved or
// changed it meanwhile, the card is followed to its new slot or the command is
// refused.

namespace vandrex {

namespace {

constexpr char kJournalHead[8] = {'V', 'X', 'C', 'J', 'R', 'N', 'L', '1'};
constexpr char kJournalTail[8] = {'V', 'X', 'C', 'J', 'E', 'N', 'D', '1'};
constexpr std::size_t kEntrySize = 4 + kCardRecordSize;  // slot (LE) + record
// Tail: mark, entry count, final file size, device and inode of the card
// file (a journal left beside another file of the same name is not applied),
// checksum.
constexpr std::size_t kTailSize = 8 + 4 + 8 + 8 + 8 + 8;
constexpr int kChunkRecords = 512;

[[noreturn]] void Fail(const std::string& what, int err) {
    throw EInOutError(what + ": " + std::strerror(err));
}

// A 64-bit checksum over everything in the journal before the stored sum,
// taken a word at a time; the result does not depend on how the bytes are
// split between calls.
class Checksum {
public:
    void add(const void* data, std::size_t n) {
        const auto* p = static_cast<const unsigned char*>(data);
        total_ += n;
        while (n > 0 && pendingBytes_ != 0) {
            pending_ |= static_cast<std::uint64_t>(*p++) << (8 * pendingBytes_);
            --n;
            if (++pendingBytes_ == 8) {
                mix(pending_);
                pending_ = 0;
                pendingBytes_ = 0;
            }
        }
        for (; n >= 8; n -= 8, p += 8) {
            std::uint64_t w = 0;
            for (int i = 0; i < 8; ++i) w |= static_cast<std::uint64_t>(p[i]) << (8 * i);
            mix(w);
        }
        for (; n > 0; --n) pending_ |= static_cast<std::uint64_t>(*p++) << (8 * pendingBytes_++);
    }
    std::uint64_t value() const {
        Checksum c = *this;
        c.mix(c.pending_);
        c.mix(c.total_);
        return c.h_;
    }

private:
    void mix(std::uint64_t w) {
        h_ = (h_ ^ w) * 0x9E3779B97F4A7C15ull;
        h_ ^= h_ >> 29;
    }
    std::uint64_t h_ = 0xcbf29ce484222325ull;
    std::uint64_t pending_ = 0;
    int pendingBytes_ = 0;
    std::uint64_t total_ = 0;
};


// Reads up to n bytes at off; returns the count read (short only at end of file).
std::size_t ReadAt(int fd, void* buf, std::size_t n, off_t off, const std::string& what) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd, static_cast<char*>(buf) + done, n - done, off + static_cast<off_t>(done));
        if (r < 0) {
            if (errno == EINTR) continue;
            Fail(what, errno);
        }
        if (r == 0) break;
        done += static_cast<std::size_t>(r);
    }
    return done;
}

void WriteAt(int fd, const void* buf, std::size_t n, off_t off, const std::string& what) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t r = ::pwrite(fd, static_cast<const char*>(buf) + done, n - done, off + static_cast<off_t>(done));
        if (r < 0) {
            if (errno == EINTR) continue;
            Fail(what, errno);
        }
        done += static_cast<std::size_t>(r);
    }
}

void SyncFd(int fd, const std::string& what) {
    if (::fsync(fd) != 0) Fail(what, errno);
}

// flock() held for one scope.
class FileLock {
public:
    FileLock(int fd, int op, const std::string& path) : fd_(fd) {
        while (::flock(fd_, op) != 0) {
            if (errno != EINTR) Fail("Cannot lock \"" + path + "\"", errno);
        }
    }
    ~FileLock() { ::flock(fd_, LOCK_UN); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_;
};

// Streams journal entries to disc; finish() makes the journal complete.
class JournalWriter {
public:
    JournalWriter(const std::string& path) : path_(path) {
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0) Fail("Cannot create journal \"" + path + "\"", errno);
        buffer_.reserve(kChunkRecords * kEntrySize);
        put(kJournalHead, sizeof kJournalHead);
    }
    ~JournalWriter() {
        if (fd_ >= 0) {
            ::close(fd_);
            ::unlink(path_.c_str());  // never finished: the card file was not touched
        }
    }
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    void add(std::uint32_t slot, const std::uint8_t* record) {
        unsigned char slotBytes[4];
        PutLE(slotBytes, slot, 4);
        put(slotBytes, 4);
        put(record, kCardRecordSize);
        ++count_;
    }

    std::uint32_t count() const { return count_; }

    // Writes the tail and, when durable, flushes the journal and its
    // directory entry.
    void finish(std::uint64_t finalSize, const struct stat& target, int dirFd, bool durable) {
        unsigned char tail[kTailSize];
        std::memcpy(tail, kJournalTail, 8);
        PutLE(tail + 8, count_, 4);
        PutLE(tail + 12, finalSize, 8);
        PutLE(tail + 20, static_cast<std::uint64_t>(target.st_dev), 8);
        PutLE(tail + 28, static_cast<std::uint64_t>(target.st_ino), 8);
        sum_.add(tail, 36);
        PutLE(tail + 36, sum_.value(), 8);
        buffer_.insert(buffer_.end(), tail, tail + kTailSize);
        flush();
        if (durable) SyncFd(fd_, "Cannot flush journal \"" + path_ + "\"");
        if (::close(fd_) != 0) {
            fd_ = -1;
            ::unlink(path_.c_str());
            Fail("Cannot write journal \"" + path_ + "\"", errno);
        }
        fd_ = -1;
        if (durable && dirFd >= 0) ::fsync(dirFd);
    }

private:
    void put(const void* data, std::size_t n) {
        sum_.add(data, n);
        const auto* p = static_cast<const unsigned char*>(data);
        buffer_.insert(buffer_.end(), p, p + n);
        if (buffer_.size() >= kChunkRecords * kEntrySize) flush();
    }
    void flush() {
        std::size_t done = 0;
        while (done < buffer_.size()) {
            const ssize_t r = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
            if (r < 0) {
                if (errno == EINTR) continue;
                Fail("Cannot write journal \"" + path_ + "\"", errno);
            }
            done += static_cast<std::size_t>(r);
        }
        buffer_.clear();
    }

    std::string path_;
    int fd_ = -1;
    std::vector<unsigned char> buffer_;
    Checksum sum_;
    std::uint32_t count_ = 0;
};

using Record = std::array<std::uint8_t, kCardRecordSize>;

}  // namespace

struct TCardDatabase::Impl {
    int fd = -1;
    int dirFd = -1;
    std::string path;         // as given, for messages
    std::string journalPath;  // absolute: the working directory may change later
    int pos = 0;              // file position in records

    // The card this copy last read or wrote, as it stood on disc then.
    int lastIndex = -1;
    Record lastBytes{};

    void requireOpen() const {
        if (fd < 0) throw EInOutError("The card file is not open");
    }

    int records() const {
        struct stat st;
        if (::fstat(fd, &st) != 0) Fail("Cannot read the size of \"" + path + "\"", errno);
        const off_t n = st.st_size / kCardRecordSize;
        if (n > INT_MAX) throw EInOutError("\"" + path + "\" holds too many records");
        return static_cast<int>(n);
    }

    void readRecord(int k, Record& out) const {
        const std::size_t got = ReadAt(fd, out.data(), kCardRecordSize,
                                       static_cast<off_t>(k) * kCardRecordSize,
                                       "Cannot read card " + std::to_string(k) + " of \"" + path + "\"");
        if (got != kCardRecordSize)
            throw EInOutError("Cannot read card " + std::to_string(k) + " of \"" + path + "\": end of file");
    }

    void writeRecord(int k, const Record& in) const {
        WriteAt(fd, in.data(), kCardRecordSize, static_cast<off_t>(k) * kCardRecordSize,
                "Cannot write card " + std::to_string(k) + " of \"" + path + "\"");
    }

    bool journalExists() const {
        struct stat st;
        return ::stat(journalPath.c_str(), &st) == 0;
    }

    // Under the exclusive lock: finishes a change interrupted by a crash. A
    // journal this copy has just written needs no validation; `durable`
    // flushes the card file before the journal goes.
    void recover(bool trusted = false, bool durable = true) {
        if (!journalExists()) return;
        const int jfd = ::open(journalPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (jfd < 0) {
            if (errno == ENOENT) return;
            Fail("Cannot open journal \"" + journalPath + "\"", errno);
        }
        struct Closer {
            int fd;
            ~Closer() { ::close(fd); }
        } closer{jfd};
        const std::string what = "Cannot read journal \"" + journalPath + "\"";
        struct stat st;
        if (::fstat(jfd, &st) != 0) Fail(what, errno);
        const auto size = static_cast<std::uint64_t>(st.st_size);

        // Validate completely before touching the card file.
        bool valid = false;
        std::uint32_t count = 0;
        std::uint64_t finalSize = 0;
        if (trusted) {
            unsigned char tail[kTailSize];
            if (ReadAt(jfd, tail, kTailSize, static_cast<off_t>(size - kTailSize), what) != kTailSize)
                throw EInOutError(what + ": end of file");
            count = static_cast<std::uint32_t>(GetLE(tail + 8, 4));
            finalSize = GetLE(tail + 12, 8);
            valid = true;
        } else if (size >= 8 + kTailSize && (size - 8 - kTailSize) % kEntrySize == 0) {
            unsigned char tail[kTailSize];
            unsigned char head[8];
            if (ReadAt(jfd, head, 8, 0, what) == 8 &&
                ReadAt(jfd, tail, kTailSize, static_cast<off_t>(size - kTailSize), what) == kTailSize &&
                std::memcmp(head, kJournalHead, 8) == 0 && std::memcmp(tail, kJournalTail, 8) == 0) {
                count = static_cast<std::uint32_t>(GetLE(tail + 8, 4));
                finalSize = GetLE(tail + 12, 8);
                if ((size - 8 - kTailSize) / kEntrySize == count) {
                    // Entries are read whole so that every slot can be checked
                    // to lie inside the final file.
                    Checksum sum;
                    sum.add(head, 8);
                    const std::uint64_t slots = finalSize / kCardRecordSize;
                    bool inside = true;
                    std::vector<unsigned char> buf(kChunkRecords * kEntrySize);
                    for (std::uint32_t done = 0; done < count && inside;) {
                        const std::uint32_t n = std::min<std::uint32_t>(kChunkRecords, count - done);
                        const off_t at = static_cast<off_t>(8 + static_cast<std::uint64_t>(done) * kEntrySize);
                        if (ReadAt(jfd, buf.data(), n * kEntrySize, at, what) != n * kEntrySize)
                            throw EInOutError(what + ": end of file");
                        for (std::uint32_t i = 0; i < n; ++i) inside = inside && GetLE(&buf[i * kEntrySize], 4) < slots;
                        sum.add(buf.data(), n * kEntrySize);
                        done += n;
                    }
                    sum.add(tail, 36);
                    struct stat self;
                    if (::fstat(fd, &self) != 0) Fail("Cannot read the size of \"" + path + "\"", errno);
                    valid = inside && sum.value() == GetLE(tail + 36, 8) &&
                            GetLE(tail + 20, 8) == static_cast<std::uint64_t>(self.st_dev) &&
                            GetLE(tail + 28, 8) == static_cast<std::uint64_t>(self.st_ino);
                }
            }
        }

        if (valid) {
            std::vector<unsigned char> buf(kChunkRecords * kEntrySize);
            std::vector<unsigned char> run;
            run.reserve(kChunkRecords * kCardRecordSize);
            std::uint32_t done = 0;
            while (done < count) {
                const std::uint32_t n = std::min<std::uint32_t>(kChunkRecords, count - done);
                const off_t at = static_cast<off_t>(8 + static_cast<std::uint64_t>(done) * kEntrySize);
                if (ReadAt(jfd, buf.data(), n * kEntrySize, at, what) != n * kEntrySize)
                    throw EInOutError(what + ": end of file");
                // Entries come in slot order; write runs of adjacent slots at once.
                std::size_t i = 0;
                while (i < n) {
                    const auto first = static_cast<std::uint32_t>(GetLE(&buf[i * kEntrySize], 4));
                    run.clear();
                    std::size_t j = i;
                    while (j < n && GetLE(&buf[j * kEntrySize], 4) == first + (j - i)) {
                        const unsigned char* rec = &buf[j * kEntrySize + 4];
                        run.insert(run.end(), rec, rec + kCardRecordSize);
                        ++j;
                    }
                    WriteAt(fd, run.data(), run.size(), static_cast<off_t>(first) * kCardRecordSize,
                            "Cannot write \"" + path + "\"");
                    i = j;
                }
                done += n;
            }
            struct stat dst;
            if (::fstat(fd, &dst) != 0) Fail("Cannot read the size of \"" + path + "\"", errno);
            if (static_cast<std::uint64_t>(dst.st_size) != finalSize &&
                ::ftruncate(fd, static_cast<off_t>(finalSize)) != 0)
                Fail("Cannot truncate \"" + path + "\"", errno);
            if (durable) SyncFd(fd, "Cannot flush \"" + path + "\"");
        }
        // Either applied and flushed, or never acted on: the journal has done its work.
        if (::unlink(journalPath.c_str()) != 0 && errno != ENOENT)
            Fail("Cannot remove journal \"" + journalPath + "\"", errno);
        if (durable && dirFd >= 0) ::fsync(dirFd);
    }

    // Finds the slot that now holds exactly the bytes this copy last read, or -1.
    int findLastRead() const {
        const int n = records();
        std::vector<std::uint8_t> buf(static_cast<std::size_t>(kChunkRecords) * kCardRecordSize);
        for (int first = 0; first < n; first += kChunkRecords) {
            const int count = std::min(kChunkRecords, n - first);
            const std::size_t want = static_cast<std::size_t>(count) * kCardRecordSize;
            if (ReadAt(fd, buf.data(), want, static_cast<off_t>(first) * kCardRecordSize,
                       "Cannot read \"" + path + "\"") != want)
                throw EInOutError("Cannot read \"" + path + "\": end of file");
            for (int i = 0; i < count; ++i)
                if (std::memcmp(&buf[static_cast<std::size_t>(i) * kCardRecordSize], lastBytes.data(),
                                kCardRecordSize) == 0)
                    return first + i;
        }
        return -1;
    }

    // The slot of the card last read at `slot`, followed if another copy moved
    // it; throws when it is gone or was never read.
    int locateCurrent(int slot, const char* refused) const {
        if (lastIndex != slot)
            throw EInOutError("Card " + std::to_string(slot) + " of \"" + path +
                              "\" was not read by this copy; " + refused);
        Record disk;
        if (slot < records()) {
            readRecord(slot, disk);
            if (disk == lastBytes) return slot;
        }
        const int moved = findLastRead();
        if (moved < 0)
            throw EInOutError("Card " + std::to_string(slot) + " of \"" + path +
                              "\" was changed by another running copy; " + refused);
        return moved;
    }

    void remember(int k, const Record& bytes) {
        lastIndex = k;
        lastBytes = bytes;
    }

    // Journals the records that move, in slot order. The sources lie all over
    // the file, so rather than one read per record the file is read in order
    // once for every window of kGatherWindow moving records.
    template <class Order>
    void gather(const Order& order, const std::vector<int>& changed, JournalWriter& journal) const {
        constexpr std::size_t kGatherWindow = 16384;
        const int n = records();
        std::vector<int> windowPos(static_cast<std::size_t>(n), -1);  // source record -> place in window
        std::vector<std::uint8_t> window(std::min(kGatherWindow, changed.size()) * kCardRecordSize);
        std::vector<std::uint8_t> chunk(static_cast<std::size_t>(kChunkRecords) * kCardRecordSize);
        for (std::size_t first = 0; first < changed.size(); first += kGatherWindow) {
            const std::size_t count = std::min(kGatherWindow, changed.size() - first);
            int low = INT_MAX, high = -1;
            for (std::size_t i = 0; i < count; ++i) {
                const int from = order.source(changed[first + i]);
                windowPos[from] = static_cast<int>(i);
                low = std::min(low, from);
                high = std::max(high, from);
            }
            for (int at = low; at <= high; at += kChunkRecords) {
                const int m = std::min(kChunkRecords, high + 1 - at);
                const std::size_t want = static_cast<std::size_t>(m) * kCardRecordSize;
                if (ReadAt(fd, chunk.data(), want, static_cast<off_t>(at) * kCardRecordSize,
                           "Cannot read \"" + path + "\"") != want)
                    throw EInOutError("Cannot read \"" + path + "\": end of file");
                for (int r = 0; r < m; ++r) {
                    const int place = windowPos[at + r];
                    if (place < 0) continue;
                    std::memcpy(&window[static_cast<std::size_t>(place) * kCardRecordSize],
                                &chunk[static_cast<std::size_t>(r) * kCardRecordSize], kCardRecordSize);
                    windowPos[at + r] = -1;
                }
            }
            for (std::size_t i = 0; i < count; ++i)
                journal.add(static_cast<std::uint32_t>(changed[first + i]),
                            &window[i * kCardRecordSize]);
        }
    }

    // Erase and sort flush to disc, so that not even a power cut loses a card.
    // A single store is only journaled so that a kill cannot leave it half
    // written (a write crossing a page boundary can be cut short); like a
    // plain write it is not flushed.
    void commit(JournalWriter& journal, std::uint64_t finalSize, bool durable = true) {
        struct stat st;
        if (::fstat(fd, &st) != 0) Fail("Cannot read the size of \"" + path + "\"", errno);
        journal.finish(finalSize, st, dirFd, durable);
        recover(true, durable);
    }

    void close() {
        if (fd >= 0) ::close(fd);
        if (dirFd >= 0) ::close(dirFd);
        fd = dirFd = -1;
        pos = 0;
        lastIndex = -1;
    }
};

TCardDatabase::TCardDatabase() : d(new Impl) {}

TCardDatabase::~TCardDatabase() {
    d->close();
    delete d;
}

namespace {

// Creates path holding exactly `record`, never an empty or partial file: the
// record is written and flushed to an unnamed file in the same folder (or, where
// the file system has none, to a uniquely named one), which is then linked
// under path. Linking never replaces a file: returns false when path exists
// by then (another copy created it). A crash at any point leaves either no
// file at path or the complete one.
bool CreateComplete(const std::string& path, const TCardRecord& record) {
    const std::filesystem::path target(path);
    const std::string dir = target.has_parent_path() ? target.parent_path().string() : std::string(".");
    const std::string what = "Cannot create \"" + path + "\"";
    std::string named;  // the temporary file's name when it has one
    int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) Fail(what, errno);
        for (int attempt = 0; fd < 0; ++attempt) {
            named = path + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
            fd = ::open(named.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && (errno != EEXIST || attempt > 100)) Fail(what, errno);
        }
    }
    bool linked = false;
    try {
        WriteAt(fd, record.bytes.data(), kCardRecordSize, 0, what);
        SyncFd(fd, what);
        int r;
        if (named.empty()) {
            const std::string self = "/proc/self/fd/" + std::to_string(fd);
            r = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW);
        } else {
            r = ::link(named.c_str(), path.c_str());
        }
        if (r != 0 && errno != EEXIST) Fail(what, errno);
        linked = r == 0;
    } catch (...) {
        if (!named.empty()) ::unlink(named.c_str());
        ::close(fd);
        throw;
    }
    if (!named.empty()) ::unlink(named.c_str());
    ::close(fd);
    if (linked) {
        const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
    }
    return linked;
}

}  // namespace

TCardUpdate TCardDatabase::Open(const std::string& path) {
    d->close();
    bool created = false;
    TCardRecord first;
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        // A new database always starts with one empty card.
        created = CreateComplete(path, first);
        fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    }
    if (fd < 0) Fail("Cannot open \"" + path + "\"", errno);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EInOutError("Cannot open \"" + path + "\": not a regular file");
    }
    d->fd = fd;
    d->path = path;
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    d->journalPath = (ec ? std::filesystem::path(path) : absolute).string() + "-journal";
    const std::filesystem::path dir = (ec ? std::filesystem::path(path) : absolute).parent_path();
    d->dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);

    bool fresh = false;
    bool shown = false;
    {
        FileLock lock(d->fd, LOCK_EX, path);
        d->recover();
        const int records = d->records();
        if (created && records == 1) {
            // The new file came complete with its first card.
            fresh = true;
            CardBuffer = first;
            d->remember(0, CardBuffer.bytes);
            CardIndex = 0;
            d->pos = 0;
            shown = true;
        } else {
            CardCount = records;
            CardIndex = 0;
            if (records > 0) {
                d->readRecord(0, CardBuffer.bytes);
                d->remember(0, CardBuffer.bytes);
                d->pos = 1;
                shown = true;
            }
        }
    }
    TCardUpdate update;
    update.Created = fresh;
    update.ShowCard = shown;
    if (!fresh) update.SliderMax = CardCount - 1;
    return update;
}

void TCardDatabase::Close() { d->close(); }

bool TCardDatabase::IsOpen() const { return d->fd >= 0; }

int TCardDatabase::RecordCount() const {
    d->requireOpen();
    return d->records();
}

int TCardDatabase::Position() const { return d->pos; }

void TCardDatabase::Seek(int record) {
    d->requireOpen();
    const int records = d->records();
    if (record < 0 || record > records)
        throw EInOutError("Cannot seek to card " + std::to_string(record) + " of \"" + d->path +
                          "\": past the end of the file (" + std::to_string(records) + " cards)");
    d->pos = record;
}

bool TCardDatabase::Eof() const {
    d->requireOpen();
    return d->pos >= d->records();
}

void TCardDatabase::ReadCard(int k) {
    d->requireOpen();
    for (;;) {
        {
            FileLock lock(d->fd, LOCK_SH, d->path);
            if (!d->journalExists()) {
                const int records = d->records();
                if (k < 0 || k >= records)
                    throw EInOutError("Cannot read card " + std::to_string(k) + " of \"" + d->path +
                                      "\": past the end of the file (" + std::to_string(records) + " cards)");
                d->readRecord(k, CardBuffer.bytes);
                d->remember(k, CardBuffer.bytes);
                d->pos = k;
                return;
            }
        }
        // A journal seen without the exclusive lock was left by a copy that
        // died; it is applied before anything is read.
        FileLock exclusive(d->fd, LOCK_EX, d->path);
        d->recover();
    }
}

void TCardDatabase::StoreCard(const CardTexts& texts) {
    d->requireOpen();
    for (int i = 0; i < kCardFieldCount; ++i) CardBuffer.setText(static_cast<CardField>(i), texts[i]);
    FileLock lock(d->fd, LOCK_EX, d->path);
    d->recover();
    const int records = d->records();
    int slot = d->pos;
    if (slot > records)
        throw EInOutError("Cannot write card " + std::to_string(slot) + " of \"" + d->path +
                          "\": past the end of the file (" + std::to_string(records) + " cards)");
    if (slot < records) {
        if (d->lastIndex == slot && CardBuffer.bytes == d->lastBytes) {
            // Nothing edited: there is nothing to write, and writing the old
            // bytes back would undo what another copy may have stored since.
            d->pos = slot + 1;
            return;
        }
        slot = d->locateCurrent(slot, "not stored");
        if (slot != d->pos) CardIndex = slot;  // the card was moved by another copy
    }
    if (slot < records) {
        struct stat st;
        if (::fstat(d->fd, &st) != 0) Fail("Cannot read the size of \"" + d->path + "\"", errno);
        JournalWriter journal(d->journalPath);
        journal.add(static_cast<std::uint32_t>(slot), CardBuffer.bytes.data());
        d->commit(journal, static_cast<std::uint64_t>(st.st_size), false);
    } else {
        d->writeRecord(slot, CardBuffer.bytes);  // a cut-short append is a fragment, not a card
    }
    d->remember(slot, CardBuffer.bytes);
    d->pos = slot + 1;
}

int TCardDatabase::AppendCard() {
    d->requireOpen();
    FileLock lock(d->fd, LOCK_EX, d->path);
    d->recover();
    const int records = d->records();
    CardIndex = records;
    CardBuffer = TCardRecord{};
    d->writeRecord(records, CardBuffer.bytes);
    d->remember(records, CardBuffer.bytes);
    d->pos = records;
    return CardIndex;
}

TCardUpdate TCardDatabase::EraseCardAt() {
    d->requireOpen();
    int sliderMax = 0;
    bool setSlider = false;
    bool cleared = false;
    {
        FileLock lock(d->fd, LOCK_EX, d->path);
        d->recover();
        const int records = d->records();
        if (records == 0) throw EInOutError("Cannot erase a card of \"" + d->path + "\": the file holds none");
        const int s = d->locateCurrent(CardIndex, "not erased");
        const int last = records - 1;
        JournalWriter journal(d->journalPath);
        if (records == 1) {
            // The only card goes; the file keeps one empty card.
            TCardRecord blank;
            d->readRecord(0, blank.bytes);
            for (int i = 0; i < kCardFieldCount; ++i) blank.setText(static_cast<CardField>(i), {});
            journal.add(0, blank.bytes.data());
            d->commit(journal, kCardRecordSize);
            CardBuffer = blank;
            CardIndex = 0;
            d->remember(0, blank.bytes);
            d->pos = 1;
            cleared = true;
        } else {
            if (s != last) {
                Record moved;
                d->readRecord(last, moved);
                journal.add(static_cast<std::uint32_t>(s), moved.data());
            }
            d->commit(journal, static_cast<std::uint64_t>(last) * kCardRecordSize);
            const int remaining = last;
            CardIndex = s < remaining ? s : remaining - 1;
            d->readRecord(CardIndex, CardBuffer.bytes);
            d->remember(CardIndex, CardBuffer.bytes);
            d->pos = CardIndex;
            sliderMax = remaining - 1;
            setSlider = true;
        }
    }
    TCardUpdate update;
    update.ClearEdits = cleared;
    if (setSlider) update.SliderMax = sliderMax;
    return update;
}

namespace {

// The order the selection-sort passes produce, computed with a heap instead
// of rescanning the range on every pass.
//
// Pass k (top = n - k) scans pairs from the top down; a pair's candidate is
// the upper record only when its name is strictly greater, and a candidate
// replaces the running maximum only when strictly greater. So the pass picks
// the highest-numbered record j holding the greatest name M, except when j is
// the top itself and record top - 1 also holds M: then the pair (top - 1, top)
// is a tie and the lower one wins. The chosen record swaps places with the
// top. A pass whose greatest name is empty moves nothing, and neither does
// any later pass, whose range holds only empty names too.
//
// Names are replaced by their rank among all names (equal names, equal rank),
// so the heap orders plain integers: (rank, slot), greatest first. An entry
// whose record has left its slot is stale and skipped when it comes up.
class PassOrder {
public:
    explicit PassOrder(int n) : names_(static_cast<std::size_t>(n) * kStride), at_(n), rank_(n) {
        for (int i = 0; i < n; ++i) at_[i] = i;
    }

    void setName(int record, std::string_view stored) {
        unsigned char* p = &names_[static_cast<std::size_t>(record) * kStride];
        p[0] = static_cast<unsigned char>(stored.size());
        std::memcpy(p + 1, stored.data(), stored.size());
    }

    // Runs the passes; afterwards source(slot) is the record that ends in slot.
    void run() {
        const int n = static_cast<int>(at_.size());
        if (n < 2) return;
        rankNames();
        std::vector<Entry> heap;
        heap.reserve(static_cast<std::size_t>(n) + n / 2);
        for (int i = 0; i < n; ++i) heap.push_back(entry(i, i));
        std::make_heap(heap.begin(), heap.end());
        for (int top = n - 1; top >= 1; --top) {
            while (!current(heap.front(), top)) {
                std::pop_heap(heap.begin(), heap.end());
                heap.pop_back();
            }
            const Entry greatest = heap.front();
            const std::uint32_t m = greatest.rank();
            if (m == emptyRank_) break;
            int chosen = greatest.slot();
            if (chosen == top && rank_[at_[top - 1]] == m) chosen = top - 1;
            std::pop_heap(heap.begin(), heap.end());  // its record leaves its slot either way
            heap.pop_back();
            if (chosen != top) {
                const int topRecord = at_[top];
                std::swap(at_[chosen], at_[top]);
                heap.push_back(entry(topRecord, chosen));
                std::push_heap(heap.begin(), heap.end());
            }
        }
    }

    int source(int slot) const { return at_[slot]; }

private:
    static constexpr std::size_t kStride = 41;  // length byte + the longest name

    struct Entry {
        std::uint64_t key;    // rank << 32 | slot
        std::uint32_t record;
        bool operator<(const Entry& o) const { return key < o.key; }
        std::uint32_t rank() const { return static_cast<std::uint32_t>(key >> 32); }
        int slot() const { return static_cast<int>(key & 0xffffffffu); }
    };

    Entry entry(int record, int slot) const {
        return {static_cast<std::uint64_t>(rank_[record]) << 32 | static_cast<std::uint32_t>(slot),
                static_cast<std::uint32_t>(record)};
    }

    bool current(const Entry& e, int top) const {
        return e.slot() <= top && at_[e.slot()] == static_cast<int>(e.record);
    }

    std::string_view name(int record) const {
        const unsigned char* p = &names_[static_cast<std::size_t>(record) * kStride];
        return {reinterpret_cast<const char*>(p + 1), p[0]};
    }

    // Dense ranks in byte order (std::string_view compares as unsigned bytes).
    void rankNames() {
        const int n = static_cast<int>(at_.size());
        std::vector<int> byName(n);
        for (int i = 0; i < n; ++i) byName[i] = i;
        std::sort(byName.begin(), byName.end(), [this](int a, int b) { return name(a) < name(b); });
        std::uint32_t rank = 0;
        for (int i = 0; i < n; ++i) {
            if (i > 0 && name(byName[i]) != name(byName[i - 1])) ++rank;
            rank_[byName[i]] = rank;
        }
        emptyRank_ = name(byName[0]).empty() ? 0 : UINT32_MAX;
    }

    std::vector<unsigned char> names_;
    std::vector<int> at_;
    std::vector<std::uint32_t> rank_;
    std::uint32_t emptyRank_ = UINT32_MAX;
};

}  // namespace

TCardUpdate TCardDatabase::SortCards() {
    d->requireOpen();
    bool shown = false;
    {
        FileLock lock(d->fd, LOCK_EX, d->path);
        d->recover();
        const int records = d->records();
        // CardCount bounds the sort; it never reaches past the file's end.
        const int n = std::min(CardCount, records);
        if (n >= 2) {
            PassOrder order(n);
            std::vector<std::uint8_t> buf(static_cast<std::size_t>(kChunkRecords) * kCardRecordSize);
            TCardRecord rec;
            for (int first = 0; first < n; first += kChunkRecords) {
                const int count = std::min(kChunkRecords, n - first);
                const std::size_t want = static_cast<std::size_t>(count) * kCardRecordSize;
                if (ReadAt(d->fd, buf.data(), want, static_cast<off_t>(first) * kCardRecordSize,
                           "Cannot read \"" + d->path + "\"") != want)
                    throw EInOutError("Cannot read \"" + d->path + "\": end of file");
                for (int i = 0; i < count; ++i) {
                    std::memcpy(rec.bytes.data(), &buf[static_cast<std::size_t>(i) * kCardRecordSize],
                                kCardRecordSize);
                    order.setName(first + i, rec.storedText(CardField::LastName));
                }
            }
            order.run();
            std::vector<int> changed;
            for (int slot = 0; slot < n; ++slot)
                if (order.source(slot) != slot) changed.push_back(slot);
            if (!changed.empty()) {
                JournalWriter journal(d->journalPath);
                d->gather(order, changed, journal);
                struct stat st;
                if (::fstat(d->fd, &st) != 0) Fail("Cannot read the size of \"" + d->path + "\"", errno);
                d->commit(journal, static_cast<std::uint64_t>(st.st_size));
            }
        }
        CardIndex = 0;
        d->pos = 0;
        if (records > 0) {
            d->readRecord(0, CardBuffer.bytes);
            d->remember(0, CardBuffer.bytes);
            shown = true;
        }
    }
    TCardUpdate update;
    update.ShowCard = shown;
    return update;
}

void TCardDatabase::Recount() {
    d->requireOpen();
    CardCount = d->records();
}

}  // namespace vandrex
