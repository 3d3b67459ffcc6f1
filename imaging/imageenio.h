#pragma once
// TImageEnIO: the image file component. Loads replace the working picture and
// refresh the view; saves and frame insertion do nothing without a picture.

#include <string>

#include "imaging/gifwriter.h"

namespace vandrex {

class TImageEnCore;

class TImageEnIO {
public:
    explicit TImageEnIO(TImageEnCore& owner) : owner_(owner) {}

    // GIF pixel coding: LZW when on, else the run-length coding.
    bool UseLZW = false;

    // EInvalidGraphic("unrecognized BMP") / ("unrecognized JPEG") when the
    // file cannot be read or decoded; the picture is then left unchanged.
    void LoadFromFileBMP(const std::string& path);
    void LoadFromFileJpeg(const std::string& path);
    // Two colours: a 1-bit file; otherwise 24-bit.
    void SaveToFileBMP(const std::string& path);
    // Quality 90, baseline, colour.
    void SaveToFileJpeg(const std::string& path);

    // A single-image GIF; interlace only with LZW. Overwrites the file.
    void SaveToFileGIF(const std::string& path, bool interlace = false, int top = 0, int left = 0,
                       bool transparent = false, int delay = 0);
    // Inserts the picture as a frame at position into an existing GIF (see
    // InsertGifFrame) and returns the number of images in the rebuilt file;
    // 0 without a picture. A missing or malformed file raises
    // EInvalidGraphic("unrecognized GIF") and is left untouched.
    // Interlace is used only with LZW (UseLZW).
    int InsertToFileGIF(const std::string& path, const TGifInsertOptions& options);

private:
    TImageEnCore& owner_;
};

}  // namespace vandrex
