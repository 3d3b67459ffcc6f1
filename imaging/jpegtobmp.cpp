#include "imaging/jpegtobmp.h"

#include "imaging/bmpfile.h"
#include "imaging/filebytes.h"
#include "imaging/fixednames.h"
#include "imaging/jpegfile.h"

namespace vandrex {

void TJpegToBmp::Convert() const {
    const TBitmap picture = LoadJpegFile(ResolveFixedName(JpegFile));
    const auto bytes = EncodeBmp(picture);
    WriteFixedFile(BmpFile, [&](const std::string& aside) { WriteFileBytes(aside, bytes); });
}

}  // namespace vandrex
