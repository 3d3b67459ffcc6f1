#pragma once
// The capture drivers of this machine, in index order: the built-in
// test-pattern camera (always index 0, so the program runs without a camera),
// then every V4L2 node that captures video, in numeric order of its
// /dev/videoN name. At most kMaxCaptureDrivers are listed.

#include <string>
#include <vector>

namespace vandrex {

inline constexpr int kMaxCaptureDrivers = 10;

enum class TCaptureDriverKind { TestPattern, V4L2 };

struct TCaptureDriverInfo {
    TCaptureDriverKind Kind = TCaptureDriverKind::TestPattern;
    std::string Name;     // description name (V4L2: the card name)
    std::string Version;  // version text (V4L2: driver name and version)
    std::string Device;   // V4L2 node path; empty for the pattern
};

// Reads the list afresh (nodes come and go).
std::vector<TCaptureDriverInfo> CaptureDrivers();

// The driver at index, as the driver-description call answers it: false when
// there is none (index < 0, past the last driver, or 10 and above).
bool GetDriverDescription(int index, std::string& name, std::string& version);
bool GetDriverInfo(int index, TCaptureDriverInfo& info);

// The name of the pattern driver and its version text.
inline constexpr const char* kTestPatternName = "Vandrex Test Pattern";
inline constexpr const char* kTestPatternVersion = "1.0";

// Test setting: extra pattern cameras listed right after the first
// ("Vandrex Test Pattern 2", "… 3", …); 0 restores the plain list.
void SetExtraPatternDrivers(int count);

// The V4L2 nodes that capture video (VIDIOC_QUERYCAP), in numeric order,
// without the limit of 10.
std::vector<TCaptureDriverInfo> V4L2CaptureNodes();

}  // namespace vandrex
