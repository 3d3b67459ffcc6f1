#include "imaging/imageenio.h"

#include "imaging/bmpfile.h"
#include "imaging/filebytes.h"
#include "imaging/gifwriter.h"
#include "imaging/imageencore.h"
#include "imaging/jpegfile.h"
#include "platform/exceptions.h"

namespace vandrex {

void TImageEnIO::LoadFromFileBMP(const std::string& path) { owner_.Assign(LoadBmpFile(path)); }

void TImageEnIO::LoadFromFileJpeg(const std::string& path) { owner_.Assign(LoadJpegFile(path)); }

void TImageEnIO::SaveToFileBMP(const std::string& path) {
    if (!owner_.HasPicture()) return;
    SaveBmpFile(path, owner_.Bitmap());
}

void TImageEnIO::SaveToFileJpeg(const std::string& path) {
    if (!owner_.HasPicture()) return;
    SaveJpegFile(path, owner_.Bitmap());
}

void TImageEnIO::SaveToFileGIF(const std::string& path, bool interlace, int top, int left,
                               bool transparent, int delay) {
    if (!owner_.HasPicture()) return;
    TGifFrameOptions options;
    options.Interlaced = interlace && UseLZW;
    options.Top = top;
    options.Left = left;
    options.Transparent = transparent;
    options.Delay = delay;
    WriteFileBytes(path, EncodeGif(owner_.Bitmap(), owner_.Background, UseLZW, options));
}

int TImageEnIO::InsertToFileGIF(const std::string& path, const TGifInsertOptions& requested) {
    if (!owner_.HasPicture()) return 0;
    const auto file = ReadFileBytes(path);
    if (!file) throw EInvalidGraphic("unrecognized GIF");
    TGifInsertOptions options = requested;
    options.Interlaced = requested.Interlaced && UseLZW;
    int images = 0;
    std::vector<std::uint8_t> rebuilt;
    try {
        rebuilt = InsertGifFrame(*file, owner_.Bitmap(), owner_.Background, UseLZW, options, &images);
    } catch (const EInvalidGraphic&) {
        throw;
    } catch (const std::exception&) {
        throw EInvalidGraphic("unrecognized GIF");
    }
    WriteFileBytes(path, rebuilt);
    return images;
}

}  // namespace vandrex
