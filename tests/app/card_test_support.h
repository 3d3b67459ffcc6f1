#pragma once
// Helpers shared by the card file tests: scratch folders, raw file access,
// cards built by name and child processes.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/cardrecord.h"

namespace cardtest {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vandrex-cards-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string RecordBytes(const vandrex::TCardRecord& r) {
    return {reinterpret_cast<const char*>(r.bytes.data()), r.bytes.size()};
}

inline vandrex::TCardRecord RecordAt(const std::string& file, int k) {
    vandrex::TCardRecord r;
    const std::string bytes = file.substr(static_cast<std::size_t>(k) * vandrex::kCardRecordSize,
                                          vandrex::kCardRecordSize);
    std::copy(bytes.begin(), bytes.end(), r.bytes.begin());
    return r;
}

// A test card named by `id`: its first name is the id, the other fields are
// derived from it so that any damage to a record shows.
inline std::string NameFor(const std::string& id) {
    unsigned h = 2166136261u;
    for (unsigned char c : id) h = (h ^ c) * 16777619u;
    std::string name;
    const int length = 1 + static_cast<int>(h % 7);
    for (int i = 0; i < length; ++i) {
        name.push_back(static_cast<char>('a' + (h >> (3 + i * 3)) % 5));  // few letters: many ties
    }
    return name;
}

inline vandrex::CardTexts TextsFor(const std::string& id) {
    vandrex::CardTexts t;
    t[static_cast<int>(vandrex::CardField::FirstName)] = id;
    t[static_cast<int>(vandrex::CardField::LastName)] = NameFor(id);
    t[static_cast<int>(vandrex::CardField::City)] = "City " + id;
    t[static_cast<int>(vandrex::CardField::EMail)] = id + "@example.org";
    return t;
}

inline vandrex::TCardRecord CardFor(const std::string& id) {
    vandrex::TCardRecord r;
    const auto t = TextsFor(id);
    for (int i = 0; i < vandrex::kCardFieldCount; ++i) r.setText(static_cast<vandrex::CardField>(i), t[i]);
    return r;
}

inline std::string EditedAddress(const std::string& id) { return "Edited address of " + id; }

// True when every field of the record holds what TextsFor(its id) gives
// (the address may carry EditedAddress), or every field is empty.
inline bool CardIntact(const vandrex::TCardRecord& r) {
    const std::string id = r.text(vandrex::CardField::FirstName);
    const vandrex::CardTexts expected = id.empty() ? vandrex::CardTexts{} : TextsFor(id);
    for (int i = 0; i < vandrex::kCardFieldCount; ++i) {
        const std::string text = r.text(static_cast<vandrex::CardField>(i));
        if (text == expected[i]) continue;
        // The one edit the tests make to a card.
        if (i == static_cast<int>(vandrex::CardField::Address) && !id.empty() && text == EditedAddress(id)) continue;
        return false;
    }
    return true;
}

struct ProcessResult {
    int status = -1;  // exit code, or -1 when killed by a signal
    std::string out;
    std::string err;
};

inline pid_t Spawn(const std::vector<std::string>& argv, int outFd = -1, int errFd = -1) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (outFd >= 0) ::dup2(outFd, 1);
        if (errFd >= 0) ::dup2(errFd, 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

inline int Wait(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs a program to its end; stdout and stderr go through scratch files.
inline ProcessResult Run(const std::vector<std::string>& argv) {
    TempDir dir;
    const std::string outPath = dir.file("out"), errPath = dir.file("err");
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ProcessResult r;
    r.status = Wait(Spawn(argv, out, err));
    ::close(out);
    ::close(err);
    r.out = ReadFile(outPath);
    r.err = ReadFile(errPath);
    return r;
}

}  // namespace cardtest
