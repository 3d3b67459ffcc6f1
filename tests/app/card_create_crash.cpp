// A copy that dies (SIGKILL) at a chosen step while creating a new card file:
//   card_create_crash FILE write|sync [TEXT]
// "write" dies at its first write to any file, "sync" at its first flush to
// disc. The edits hold TEXT as first name. Without dying it exits 0.

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
    db.EditTexts = [&] { return edits; };
    db.ClearEdits = [] {};
    g_dieAt = argv[2];
    db.Open(argv[1]);
    return 0;
}
