// Feeds arbitrary bytes to the container reader.

#include "compress/compressstream.h"
#include "platform/exceptions.h"

#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::ostringstream out;
    try {
        vandrex::TCompressStream().DecompressStream(in, out);
    } catch (const vandrex::Exception&) {
    }
    return 0;
}
