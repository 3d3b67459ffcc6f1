#include "giflib_check.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace vandrex::test {

namespace {

struct TMemoryInput {
    std::span<const std::uint8_t> Data;
    std::size_t Pos = 0;
};

int ReadMemory(GifFileType* gif, GifByteType* buffer, int size) {
    auto* in = static_cast<TMemoryInput*>(gif->UserData);
    const std::size_t n = std::min<std::size_t>(std::size_t(size), in->Data.size() - in->Pos);
    std::memcpy(buffer, in->Data.data() + in->Pos, n);
    in->Pos += n;
    return int(n);
}

}  // namespace

TDecodedGif DecodeWithGiflib(std::span<const std::uint8_t> file) {
    TDecodedGif result;
    TMemoryInput input{file};
    int error = 0;
    GifFileType* gif = DGifOpen(&input, ReadMemory, &error);
    if (!gif) {
        ADD_FAILURE() << "DGifOpen: " << GifErrorString(error);
        return result;
    }
    if (DGifSlurp(gif) != GIF_OK) {
        ADD_FAILURE() << "DGifSlurp: " << GifErrorString(gif->Error);
        DGifCloseFile(gif, &error);
        return result;
    }
    result.ScreenWidth = gif->SWidth;
    result.ScreenHeight = gif->SHeight;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        TDecodedFrame frame;
        frame.Left = image.ImageDesc.Left;
        frame.Top = image.ImageDesc.Top;
        frame.Width = image.ImageDesc.Width;
        frame.Height = image.ImageDesc.Height;
        frame.Interlaced = image.ImageDesc.Interlace;
        for (int e = 0; e < image.ExtensionBlockCount; ++e)
            if (image.ExtensionBlocks[e].Function == GRAPHICS_EXT_FUNC_CODE && image.ExtensionBlocks[e].ByteCount >= 1)
                frame.GraphicControl = image.ExtensionBlocks[e].Bytes[0];
        const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
        const std::size_t n = std::size_t(frame.Width) * frame.Height;
        frame.Indices.assign(image.RasterBits, image.RasterBits + n);
        for (std::size_t p = 0; p < n; ++p) {
            const GifColorType& c = map->Colors[image.RasterBits[p]];
            frame.Pixels.push_back({c.Red, c.Green, c.Blue});
        }
        result.Frames.push_back(std::move(frame));
    }
    DGifCloseFile(gif, &error);
    return result;
}

TSubBlocks ReadSubBlocks(std::span<const std::uint8_t> file, std::size_t pos) {
    TSubBlocks s;
    s.MinCodeSize = file[pos++];
    while (pos < file.size()) {
        const int len = file[pos++];
        if (len == 0) break;
        s.Lengths.push_back(len);
        s.Data.insert(s.Data.end(), file.begin() + pos, file.begin() + pos + len);
        pos += len;
    }
    return s;
}

std::vector<TCode> ReadCodes(const std::vector<std::uint8_t>& data) {
    std::vector<TCode> codes;
    std::size_t bitPos = 0;
    int size = 9, next = 258;
    bool first = true;
    while (bitPos + size <= data.size() * 8) {
        int code = 0;
        for (int b = 0; b < size; ++b, ++bitPos)
            code |= ((data[bitPos / 8] >> (bitPos % 8)) & 1) << b;
        codes.push_back({code, size});
        if (code == 257) break;
        if (code == 256) {
            size = 9;
            next = 258;
            first = true;
            continue;
        }
        if (!first && next < 4096) {
            ++next;
            if (next == (1 << size) && size < 12) ++size;
        }
        first = false;
    }
    return codes;
}

int CountOccurrences(std::span<const std::uint8_t> hay, const char* needle) {
    const std::size_t n = std::strlen(needle);
    int count = 0;
    for (std::size_t i = 0; i + n <= hay.size(); ++i)
        if (std::memcmp(hay.data() + i, needle, n) == 0) ++count;
    return count;
}

}  // namespace vandrex::test
