#include "imaging/bmptojpeg.h"

#include "imaging/filebytes.h"
#include "imaging/fixednames.h"
#include "imaging/jpegfile.h"
#include "platform/exceptions.h"

namespace vandrex {

void TBmpToJpeg::Convert() const {
    if (!Image || Image->Empty()) throw EInvalidGraphic("no picture to convert");
    const auto bytes = EncodeJpeg(*Image, 90);
    WriteFixedFile(JpegFile, [&](const std::string& aside) { WriteFileBytes(aside, bytes); });
}

}  // namespace vandrex
