#include "imaging/jpegfile.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <jpeglib.h>
#include <jerror.h>

#include "imaging/filebytes.h"
#include "platform/exceptions.h"

namespace vandrex {

namespace {

// libjpeg reports errors through error_exit, which must not return: it jumps
// back to the setjmp in the calling function. Only plain data lives between
// the two, so nothing is skipped that needs destroying.
struct TJpegError {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<TJpegError*>(cinfo->err)->Jump, 1);
}

// Warnings (corrupt data the library would paper over) are failures too;
// trace messages (level > 0) are ignored.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level < 0) OnError(cinfo);
}

void InitSource(j_decompress_ptr) {}
boolean FillInput(j_decompress_ptr cinfo) {
    // The whole file is in memory: needing more means it is truncated.
    ERREXIT(cinfo, JERR_INPUT_EOF);
    return FALSE;
}
void SkipInput(j_decompress_ptr cinfo, long count) {
    jpeg_source_mgr* src = cinfo->src;
    if (count <= 0) return;
    if (std::size_t(count) > src->bytes_in_buffer) ERREXIT(cinfo, JERR_INPUT_EOF);
    src->next_input_byte += count;
    src->bytes_in_buffer -= std::size_t(count);
}
void TermSource(j_decompress_ptr) {}

struct TMemoryDest {
    jpeg_destination_mgr Manager;
    std::vector<std::uint8_t>* Out;
    std::uint8_t Buffer[16384];
};

void InitDest(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<TMemoryDest*>(cinfo->dest);
    d->Manager.next_output_byte = d->Buffer;
    d->Manager.free_in_buffer = sizeof d->Buffer;
}
boolean EmptyDest(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<TMemoryDest*>(cinfo->dest);
    d->Out->insert(d->Out->end(), d->Buffer, d->Buffer + sizeof d->Buffer);
    d->Manager.next_output_byte = d->Buffer;
    d->Manager.free_in_buffer = sizeof d->Buffer;
    return TRUE;
}
void TermDest(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<TMemoryDest*>(cinfo->dest);
    d->Out->insert(d->Out->end(), d->Buffer, d->Buffer + (sizeof d->Buffer - d->Manager.free_in_buffer));
}

// Runs the decoder; on success fills picture. Returns false on any libjpeg
// failure. Kept free of objects with destructors (see TJpegError).
bool Decode(const std::uint8_t* data, std::size_t size, TBitmap& picture, bool& tooLarge) {
    jpeg_decompress_struct cinfo;
    TJpegError err;
    jpeg_source_mgr src;
    JSAMPLE* volatile row = nullptr;
    cinfo.err = jpeg_std_error(&err.Manager);
    err.Manager.error_exit = OnError;
    err.Manager.emit_message = OnMessage;
    if (setjmp(err.Jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::free(row);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    src.next_input_byte = data;
    src.bytes_in_buffer = size;
    src.init_source = InitSource;
    src.fill_input_buffer = FillInput;
    src.skip_input_data = SkipInput;
    src.resync_to_restart = jpeg_resync_to_restart;
    src.term_source = TermSource;
    cinfo.src = &src;
    jpeg_read_header(&cinfo, TRUE);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const int w = int(cinfo.output_width), h = int(cinfo.output_height);
    const int channels = cinfo.output_components;
    if (!TBitmap::SizeAllowed(w, h) || w == 0 || h == 0 || (channels != 3 && channels != 4)) {
        tooLarge = true;
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    try {
        picture = TBitmap(w, h);
    } catch (...) {
        jpeg_destroy_decompress(&cinfo);
        throw;
    }
    row = static_cast<JSAMPLE*>(std::malloc(std::size_t(w) * channels));
    if (!row) ERREXIT(&cinfo, JERR_OUT_OF_MEMORY);
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = int(cinfo.output_scanline);
        JSAMPROW rows[1] = {row};
        jpeg_read_scanlines(&cinfo, rows, 1);
        std::uint8_t* out = picture.Row(y);
        for (int x = 0; x < w; ++x, out += 3) {
            const JSAMPLE* p = row + std::size_t(x) * channels;
            if (cmyk) {
                // Adobe writes CMYK inverted: each value is 255 - ink.
                const unsigned k = p[3];
                out[0] = std::uint8_t(p[2] * k / 255);
                out[1] = std::uint8_t(p[1] * k / 255);
                out[2] = std::uint8_t(p[0] * k / 255);
            } else {
                out[0] = p[2];
                out[1] = p[1];
                out[2] = p[0];
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::free(row);
    return true;
}

bool Encode(const TBitmap& picture, int quality, std::vector<std::uint8_t>& out) {
    jpeg_compress_struct cinfo;
    TJpegError err;
    TMemoryDest dest;
    JSAMPLE* volatile row = nullptr;
    cinfo.err = jpeg_std_error(&err.Manager);
    err.Manager.error_exit = OnError;
    if (setjmp(err.Jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(row);
        return false;
    }
    jpeg_create_compress(&cinfo);
    dest.Manager.init_destination = InitDest;
    dest.Manager.empty_output_buffer = EmptyDest;
    dest.Manager.term_destination = TermDest;
    dest.Out = &out;
    cinfo.dest = &dest.Manager;
    cinfo.image_width = JDIMENSION(picture.Width());
    cinfo.image_height = JDIMENSION(picture.Height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);  // baseline tables
    jpeg_start_compress(&cinfo, TRUE);
    const int w = picture.Width();
    row = static_cast<JSAMPLE*>(std::malloc(std::size_t(w) * 3));
    if (!row) ERREXIT(&cinfo, JERR_OUT_OF_MEMORY);
    while (cinfo.next_scanline < cinfo.image_height) {
        const std::uint8_t* in = picture.Row(int(cinfo.next_scanline));
        for (int x = 0; x < w; ++x) {
            row[x * 3] = in[x * 3 + 2];
            row[x * 3 + 1] = in[x * 3 + 1];
            row[x * 3 + 2] = in[x * 3];
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::free(row);
    return true;
}

}  // namespace

TBitmap DecodeJpeg(std::span<const std::uint8_t> data) {
    if (data.size() < 4 || data[0] != 0xFF || data[1] != 0xD8) throw EInvalidGraphic("unrecognized JPEG");
    TBitmap picture;
    bool tooLarge = false;
    if (!Decode(data.data(), data.size(), picture, tooLarge)) throw EInvalidGraphic("unrecognized JPEG");
    return picture;
}

std::vector<std::uint8_t> EncodeJpeg(const TBitmap& picture, int quality) {
    if (picture.Empty()) throw std::invalid_argument("no picture to write as JPEG");
    std::vector<std::uint8_t> out;
    out.reserve(std::size_t(picture.PixelCount()) / 4 + 1024);
    if (!Encode(picture, quality, out)) throw Exception("JPEG encoding failed");
    return out;
}

TBitmap LoadJpegFile(const std::string& path) {
    const auto data = ReadFileBytes(path);
    if (!data) throw EInvalidGraphic("unrecognized JPEG");
    return DecodeJpeg(*data);
}

void SaveJpegFile(const std::string& path, const TBitmap& picture) {
    WriteFileBytes(path, EncodeJpeg(picture));
}

}  // namespace vandrex
