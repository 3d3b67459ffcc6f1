#include "platform/capturedrivers.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace vandrex {

namespace {

std::atomic<int> gExtraPatterns{0};

// Number at the end of "videoN", or -1.
long NodeNumber(const std::string& name) {
    if (name.rfind("video", 0) != 0 || name.size() == 5) return -1;
    char* end = nullptr;
    const long n = std::strtol(name.c_str() + 5, &end, 10);
    return (*end == '\0' && n >= 0) ? n : -1;
}

std::string FixedText(const __u8* text, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(text), strnlen(reinterpret_cast<const char*>(text), size));
}

}  // namespace

std::vector<TCaptureDriverInfo> V4L2CaptureNodes() {
    std::vector<std::pair<long, std::string>> nodes;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
        const long n = NodeNumber(entry.path().filename().string());
        if (n >= 0) nodes.emplace_back(n, entry.path().string());
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<TCaptureDriverInfo> result;
    for (const auto& [n, path] : nodes) {
        const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        v4l2_capability cap{};
        const bool ok = ::ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
        ::close(fd);
        if (!ok) continue;
        // A node's own capabilities, when the driver reports them, tell
        // capture nodes from the metadata nodes of the same camera.
        const __u32 caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
        if (!(caps & V4L2_CAP_VIDEO_CAPTURE)) continue;
        TCaptureDriverInfo info;
        info.Kind = TCaptureDriverKind::V4L2;
        info.Name = FixedText(cap.card, sizeof cap.card);
        info.Version = FixedText(cap.driver, sizeof cap.driver) + " " +
                       std::to_string((cap.version >> 16) & 0xFF) + "." +
                       std::to_string((cap.version >> 8) & 0xFF) + "." + std::to_string(cap.version & 0xFF);
        info.Device = path;
        result.push_back(std::move(info));
    }
    return result;
}

std::vector<TCaptureDriverInfo> CaptureDrivers() {
    std::vector<TCaptureDriverInfo> list;
    list.push_back({TCaptureDriverKind::TestPattern, kTestPatternName, kTestPatternVersion, {}});
    for (int i = 0; i < gExtraPatterns.load(); ++i)
        list.push_back({TCaptureDriverKind::TestPattern, std::string(kTestPatternName) + " " + std::to_string(i + 2),
                        kTestPatternVersion, {}});
    for (auto& node : V4L2CaptureNodes()) list.push_back(std::move(node));
    if (list.size() > std::size_t(kMaxCaptureDrivers)) list.resize(kMaxCaptureDrivers);
    return list;
}

bool GetDriverInfo(int index, TCaptureDriverInfo& info) {
    if (index < 0 || index >= kMaxCaptureDrivers) return false;
    auto list = CaptureDrivers();
    if (std::size_t(index) >= list.size()) return false;
    info = std::move(list[std::size_t(index)]);
    return true;
}

bool GetDriverDescription(int index, std::string& name, std::string& version) {
    TCaptureDriverInfo info;
    if (!GetDriverInfo(index, info)) return false;
    name = info.Name;
    version = info.Version;
    return true;
}

void SetExtraPatternDrivers(int count) { gExtraPatterns = std::max(0, count); }

}  // namespace vandrex
