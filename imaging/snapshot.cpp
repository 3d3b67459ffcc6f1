#include "imaging/snapshot.h"

#include <algorithm>

#include "imaging/bmpfile.h"
#include "imaging/bmptojpeg.h"
#include "imaging/fixednames.h"
#include "platform/exceptions.h"

namespace vandrex {

TGifSizeDisplay GifSizeDisplay(long long colorCount) {
    TGifSizeDisplay d;
    d.Bytes = FixedFileSize(kSnapshotGif);
    d.BarPosition = int(std::min(d.Bytes, kGifPageLimit));
    d.Hint = std::to_string(d.Bytes) + " Bytes";
    d.WarningLit = d.Bytes > kGifPageLimit;
    d.ColorCount = std::to_string(colorCount);
    return d;
}

void SaveSnapshotGif(TImageEnCore& encoder) {
    WriteFixedFile(kSnapshotGif, [&](const std::string& aside) { encoder.IO.SaveToFileGIF(aside); });
}

void TSnapshotPipeline::Snapshot() {
    struct TRemoveBitmap {
        ~TRemoveBitmap() { RemoveFixedFile(kSnapshotBmp); }
    } removeAtEnd;
    if (!PictureLoaded) {
        // A bitmap left by someone else (the data phone) must not pass for
        // this snapshot when the grab fails.
        RemoveFixedFile(kSnapshotBmp);
        if (!GrabToBitmap || !GrabToBitmap() || !FixedFileExists(kSnapshotBmp))
            throw Exception(kGrabFailedText);
    }
    display_ = LoadBmpFile(ResolveFixedName(kSnapshotBmp));
    if (ShowBitmap) ShowBitmap(display_);
    ConvertBMPToGIF();
    if (GifChecked && GifChecked()) {
        if (ShowEncoder) ShowEncoder();
        ShowGIFSize();
    }
    TBmpToJpeg toJpeg;
    toJpeg.Image = &display_;
    toJpeg.BmpFile = kSnapshotBmp;
    toJpeg.JpegFile = kSnapshotJpg;
    toJpeg.Convert();
    RemoveFixedFile(kSnapshotBmp);
    ++SnapshotCounter;
    if (SetStatus) SetStatus("Snapshot " + std::to_string(SnapshotCounter));
    if (PeerWanted && PeerWanted() && SendToPeer) SendToPeer(kSnapshotJpg);
}

void TSnapshotPipeline::ConvertBMPToGIF() {
    encoder_.IO.LoadFromFileBMP(ResolveFixedName(kSnapshotBmp));
    if (!FitHorizontal || FitHorizontal())
        encoder_.Proc.Resample(128, -1, 3);
    else
        encoder_.Proc.Resample(-1, 128, 3);
    encoder_.Proc.ReduceColors(256);
    SaveSnapshotGif(encoder_);
    if (GifRewritten) GifRewritten();
    if (SetColorCount) SetColorCount(std::to_string(encoder_.Proc.CalcImageNumColors()));
}

TGifSizeDisplay TSnapshotPipeline::ShowGIFSize() {
    const TGifSizeDisplay d = GifSizeDisplay(encoder_.Proc.CalcImageNumColors());
    if (ShowSize) ShowSize(d);
    if (SetColorCount) SetColorCount(d.ColorCount);
    return d;
}

}  // namespace vandrex
