#pragma once
// The program's fixed file names ("Snapshot.bmp", "Snapshot.gif" …) in the
// working directory, matched without regard to case, so "snapshot.bmp" and
// "Snapshot.bmp" are one file. Files are written aside and renamed into
// place, so a reader never sees a half-written file and a failed write leaves
// the previous file as it was.

#include <functional>
#include <string>

namespace vandrex {

// The existing file in `folder` whose name equals `name` ignoring case (the
// first in name order when several do), else folder/name.
std::string ResolveFixedName(const std::string& name, const std::string& folder = ".");
bool FixedFileExists(const std::string& name, const std::string& folder = ".");
// Removes every case variant; true when something was removed.
bool RemoveFixedFile(const std::string& name, const std::string& folder = ".");
// Calls write(asidePath), then renames the aside file over the resolved name
// and removes other case variants. If write throws, the aside file is removed
// and the exception passes on; a failed rename throws EInOutError.
void WriteFixedFile(const std::string& name, const std::function<void(const std::string&)>& write,
                    const std::string& folder = ".");
// Byte size of the resolved file; EInOutError when it cannot be read.
long long FixedFileSize(const std::string& name, const std::string& folder = ".");

}  // namespace vandrex
