// Frame insertion walks an untrusted GIF: it must fail with its error or
// produce a file that the walk itself accepts again, with the new frame.
#include <cstddef>
#include <cstdint>

#include "imaging/gifwriter.h"
#include "platform/exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const vandrex::TBitmap frame = [] {
        vandrex::TBitmap b(3, 2);
        b.SetColor(0, 0, {255, 0, 0});
        b.SetColor(2, 1, {0, 0, 255});
        return b;
    }();
    try {
        const int images = vandrex::CountGifImages({data, size});
        vandrex::TGifInsertOptions options;
        options.Interlaced = true;
        options.Position = size > 0 ? data[size - 1] % 4 : 0;
        int after = 0;
        const auto rebuilt = vandrex::InsertGifFrame({data, size}, frame, {}, size % 2 == 0, options, &after);
        if (vandrex::CountGifImages(rebuilt) < images) __builtin_trap();
        // A position before an image without a graphic control block is not
        // an insertion point, so the frame may be left out; never more.
        if (after != images && after != images + 1) __builtin_trap();
        if (options.Position == images && after != images + 1) __builtin_trap();
    } catch (const vandrex::EInvalidGraphic&) {
    }
    return 0;
}
