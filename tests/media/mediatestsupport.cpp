#include "mediatestsupport.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <sstream>

namespace vandrex::test {

void EnsureApp() {
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "media_tests";
        static char* argv[] = {name, nullptr};
        // Left to the end of the process: destroying it after Qt's own
        // statics at exit crashes.
        new QApplication(argc, argv);
    }
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return -1;
    std::string text;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) text.append(buf.data(), n);
    int status = pclose(p);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::map<std::string, std::string> Probe(const std::string& file, const std::string& entries) {
    std::string out;
    RunCommand("ffprobe -v error -of default=nw=0 -show_entries " + Quote(entries) + " " + Quote(file), &out);
    std::map<std::string, std::string> result;
    std::istringstream in(out);
    std::string line, section;
    int stream = -1;
    while (std::getline(in, line)) {
        if (line == "[STREAM]") { section = "stream" + std::to_string(++stream); continue; }
        if (line == "[FORMAT]") { section = "format"; continue; }
        if (line.empty() || line[0] == '[') continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        result[section + "." + line.substr(0, eq)] = line.substr(eq + 1);
    }
    return result;
}

std::string DecodeErrors(const std::string& file) {
    std::string out;
    int rc = RunCommand("ffmpeg -nostdin -v error -i " + Quote(file) + " -f null -", &out);
    if (rc != 0 && out.empty()) out = "ffmpeg exit " + std::to_string(rc);
    return out;
}

void MakeWav(const std::string& path, double seconds, int rate, int channels, double amplitude) {
    std::ostringstream cmd;
    cmd << "ffmpeg -nostdin -v error -y -f lavfi -i 'aevalsrc=" << amplitude << "*sin(2*PI*440*t):s=" << rate << ":d=" << seconds
        << "' -ac " << channels << " -c:a pcm_s16le " << Quote(path);
    ASSERT_EQ(RunCommand(cmd.str()), 0) << cmd.str();
}

void MakeAvi(const std::string& path, int width, int height, int fps, double seconds, bool sound) {
    std::ostringstream cmd;
    cmd << "ffmpeg -nostdin -v error -y -f lavfi -i 'testsrc2=size=" << width << "x" << height << ":rate=" << fps << ":d=" << seconds
        << "'";
    if (sound) cmd << " -f lavfi -i 'sine=f=440:r=44100:d=" << seconds << "' -ac 2 -c:a pcm_s16le";
    cmd << " -c:v mjpeg -q:v 3 " << Quote(path);
    ASSERT_EQ(RunCommand(cmd.str()), 0) << cmd.str();
}

int CountFrames(const std::string& file) {
    std::string out;
    RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 " + Quote(file),
               &out);
    return std::atoi(out.c_str());
}

}  // namespace vandrex::test
