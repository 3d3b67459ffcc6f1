// RealMedia headers from hostile files: the clip-field reader and the
// logical-fileinfo insertion must stay in bounds on any bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/rmfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    try {
        vandrex::av::ParseRmClipInfo(bytes);
    } catch (const vandrex::av::EMediaError&) {
    }
    try {
        vandrex::av::InsertLogicalFileInfo(bytes, {{"Keywords", "k"}}, 1000);
    } catch (const vandrex::av::EMediaError&) {
    }
    return 0;
}
