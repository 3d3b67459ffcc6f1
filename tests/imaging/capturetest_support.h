#pragma once
// Support for the capture and snapshot tests: the Qt application, a scratch
// working folder, running processes, ffprobe, and JPEG decoding with libjpeg.

#include <QApplication>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vandrex::test {

QApplication& App();

// Processes events until done() or timeoutMs; returns done().
bool WaitFor(const std::function<bool()>& done, int timeoutMs);

// Makes a fresh folder and enters it; leaves and removes it at the end.
class TScratchFolder {
public:
    explicit TScratchFolder(const std::string& name);
    ~TScratchFolder();
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

struct TProcessResult {
    int Status = -1;
    std::string Out;
    std::string Err;
};
// Runs a shell command line; collects its standard output and error.
TProcessResult RunCommand(const std::string& command);

// ffprobe's stream entries, one map per stream in file order.
std::vector<std::map<std::string, std::string>> ProbeStreams(const std::string& file);

struct TJpegInfo {
    int Width = 0, Height = 0, Components = 0;
    bool Progressive = false;
    bool Baseline = false;  // frame marker SOF0
    std::vector<std::uint8_t> Rgb;
};
// Decodes with libjpeg(-turbo) directly; fails the test on an error.
TJpegInfo DecodeJpegWithLibjpeg(const std::vector<std::uint8_t>& bytes);

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& file);

}  // namespace vandrex::test
