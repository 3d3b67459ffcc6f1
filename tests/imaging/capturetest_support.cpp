#include "capturetest_support.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <sstream>

extern "C" {
#include <jpeglib.h>
}

namespace vandrex::test {

QApplication& App() {
    static int argc = 1;
    static char name[] = "capture_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return done();
}

TScratchFolder::TScratchFolder(const std::string& name) : previous_(std::filesystem::current_path()) {
    path_ = std::filesystem::temp_directory_path() / ("vandrex_capture_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
}

TScratchFolder::~TScratchFolder() {
    std::filesystem::current_path(previous_);
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

TProcessResult RunCommand(const std::string& command) {
    const std::string err = (std::filesystem::temp_directory_path() / ("vandrex_cmd_err_" + std::to_string(::getpid()))).string();
    TProcessResult r;
    FILE* pipe = ::popen((command + " 2>" + err).c_str(), "r");
    if (!pipe) return r;
    std::array<char, 4096> buffer{};
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) r.Out.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(err);
    std::stringstream s;
    s << in.rdbuf();
    r.Err = s.str();
    std::filesystem::remove(err);
    return r;
}

std::vector<std::map<std::string, std::string>> ProbeStreams(const std::string& file) {
    const TProcessResult r = RunCommand("ffprobe -v error -count_frames -show_streams -show_format -of flat=s=_ '" + file + "'");
    std::vector<std::map<std::string, std::string>> streams;
    std::istringstream lines(r.Out);
    std::string line;
    while (std::getline(lines, line)) {
        // streams_stream_0_codec_name="mjpeg"  /  format_duration="3.000000"
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
        if (key.rfind("streams_stream_", 0) == 0) {
            const std::string rest = key.substr(15);
            const auto us = rest.find('_');
            const std::size_t index = std::stoul(rest.substr(0, us));
            if (streams.size() <= index) streams.resize(index + 1);
            streams[index][rest.substr(us + 1)] = value;
        } else if (key.rfind("format_", 0) == 0) {
            if (streams.empty()) streams.resize(1);
            for (auto& s : streams) s["format." + key.substr(7)] = value;
        }
    }
    return streams;
}

namespace {
struct TErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};
}  // namespace

TJpegInfo DecodeJpegWithLibjpeg(const std::vector<std::uint8_t>& bytes) {
    TJpegInfo info;
    jpeg_decompress_struct cinfo{};
    TErrorManager err{};
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<TErrorManager*>(c->err)->jump, 1); };
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        ADD_FAILURE() << "libjpeg could not decode the file";
        return {};
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    info.Progressive = cinfo.progressive_mode;
    info.Components = cinfo.num_components;
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    info.Width = int(cinfo.output_width);
    info.Height = int(cinfo.output_height);
    info.Rgb.resize(std::size_t(info.Width) * info.Height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = info.Rgb.data() + std::size_t(cinfo.output_scanline) * info.Width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) info.Baseline = true;
    return info;
}

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace vandrex::test
