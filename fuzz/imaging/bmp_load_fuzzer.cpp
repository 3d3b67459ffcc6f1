// BMP loading must reject bad input with its error and stay in bounds.
#include <cstddef>
#include <cstdint>

#include "imaging/bmpfile.h"
#include "platform/exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const vandrex::TBitmap picture = vandrex::DecodeBmp({data, size});
        if (picture.Empty()) __builtin_trap();  // a decoded picture always has pixels
    } catch (const vandrex::EInvalidGraphic&) {
    }
    return 0;
}
