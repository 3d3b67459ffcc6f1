#include "imaging/fixednames.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/exceptions.h"

namespace vandrex {

namespace fs = std::filesystem;

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::vector<fs::path> Variants(const std::string& name, const std::string& folder) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (SameIgnoringCase(entry.path().filename().string(), name)) found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

std::string ResolveFixedName(const std::string& name, const std::string& folder) {
    const auto found = Variants(name, folder);
    if (!found.empty()) return folder == "." ? found.front().filename().string() : found.front().string();
    return folder == "." ? name : (fs::path(folder) / name).string();
}

bool FixedFileExists(const std::string& name, const std::string& folder) { return !Variants(name, folder).empty(); }

bool RemoveFixedFile(const std::string& name, const std::string& folder) {
    bool removed = false;
    std::error_code ec;
    for (const auto& p : Variants(name, folder)) removed = fs::remove(p, ec) || removed;
    return removed;
}

void WriteFixedFile(const std::string& name, const std::function<void(const std::string&)>& write,
                    const std::string& folder) {
    const std::string target = ResolveFixedName(name, folder);
    const std::string aside = target + ".part";
    try {
        write(aside);
    } catch (...) {
        std::error_code ec;
        fs::remove(aside, ec);
        throw;
    }
    std::error_code ec;
    fs::rename(aside, target, ec);
    if (ec) {
        fs::remove(aside, ec);
        throw EInOutError(target + ": " + ec.message());
    }
    for (const auto& p : Variants(name, folder))
        if (p.filename() != fs::path(target).filename()) fs::remove(p, ec);
}

long long FixedFileSize(const std::string& name, const std::string& folder) {
    const std::string path = ResolveFixedName(name, folder);
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec) throw EInOutError(path + ": " + ec.message());
    return static_cast<long long>(size);
}

}  // namespace vandrex
