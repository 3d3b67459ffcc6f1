// A copy that dies (SIGKILL) at a chosen step while creating a new card file:
//   card_create_crash FILE write|sync [TEXT]
// "write" dies at its first write to any file, "sync" at its first flush to
// disc. A file it creates gets TEXT as first name of its card. Without dying
// it exits 0.

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "app/carddatabase.h"

namespace {
const char* g_dieAt = "";
}

// These replace the C library's functions for the whole program, the card
// file code included.
extern "C" ssize_t pwrite(int fd, const void* buf, size_t n, off_t off) {
    if (std::strcmp(g_dieAt, "write") == 0) ::kill(::getpid(), SIGKILL);
    return ::syscall(SYS_pwrite64, fd, buf, n, off);
}
extern "C" ssize_t pwrite64(int fd, const void* buf, size_t n, off_t off) { return pwrite(fd, buf, n, off); }
extern "C" int fsync(int fd) {
    if (std::strcmp(g_dieAt, "sync") == 0) ::kill(::getpid(), SIGKILL);
    return int(::syscall(SYS_fsync, fd));
}

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    vandrex::TCardDatabase db;
    vandrex::CardTexts edits{};
    if (argc > 3) edits[static_cast<std::size_t>(vandrex::CardField::FirstName)] = argv[3];
    g_dieAt = argv[2];
    // A new file starts with one empty card; TEXT is then stored on it, so a
    // file created over an existing one would show.
    if (db.Open(argv[1]).Created && argc > 3) {
        db.Seek(0);
        db.StoreCard(edits);
    }
    return 0;
}
