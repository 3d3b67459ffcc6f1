#pragma once
// Shared helpers of the media tests: a Qt application for the event loop,
// scratch folders, and the ffmpeg and ffprobe command lines that make inputs
// and check what the engine wrote.

#include <QString>

#include <map>
#include <string>

namespace vandrex::test {

void EnsureApp();

// Runs a shell command; returns its exit code and fills output with stdout
// and stderr.
int RunCommand(const std::string& command, std::string* output = nullptr);
std::string Quote(const std::string& s);

// ffprobe's key=value lines for the entries asked (e.g.
// "stream=codec_name,width:format=duration"), streams numbered
// "stream0.codec_name" ..., format entries "format.duration", tags
// "format.TAG:title".
std::map<std::string, std::string> Probe(const std::string& file, const std::string& entries);
// What `ffmpeg -v error -i F -f null -` prints (empty for a clean file).
std::string DecodeErrors(const std::string& file);

// Test inputs made by the ffmpeg command line.
void MakeWav(const std::string& path, double seconds, int rate = 44100, int channels = 2, double amplitude = 0.5);
void MakeAvi(const std::string& path, int width, int height, int fps, double seconds, bool sound = true);

// Number of video frames in a file, counted by decoding.
int CountFrames(const std::string& file);

}  // namespace vandrex::test
