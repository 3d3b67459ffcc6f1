#pragma once
// TSnapshotPipeline: the path from the camera to the picture files, without
// widgets. One Snapshot() grabs a frame into "Snapshot.bmp" (or uses the
// loaded picture), shows it, fits it to 128 pixels on the image component,
// reduces it to 256 colours, writes "Snapshot.gif" and "Snapshot.jpg" and
// removes "Snapshot.bmp". The window supplies the grab and receives what to
// show through the hooks; every hook is optional.

#include <cstdint>
#include <functional>
#include <string>

#include "imaging/bitmap.h"
#include "imaging/imageencore.h"

namespace vandrex {

inline constexpr const char* kSnapshotBmp = "Snapshot.bmp";
inline constexpr const char* kSnapshotGif = "Snapshot.gif";
inline constexpr const char* kSnapshotJpg = "Snapshot.jpg";
inline constexpr const char* kNextshotGif = "Nextshot.gif";
// The i-mode page limit: a GIF above this many bytes lights the warning lamp.
inline constexpr long long kGifPageLimit = 10240;

// What ShowGIFSize puts on the size bar, its hint, the warning lamp and the
// colour count edit.
struct TGifSizeDisplay {
    long long Bytes = 0;
    int BarPosition = 0;  // the bar runs 0..10240
    std::string Hint;     // "<bytes> Bytes"
    bool WarningLit = false;
    std::string ColorCount;
};

// Reads the size of "Snapshot.gif" (EInOutError when it is missing).
TGifSizeDisplay GifSizeDisplay(long long colorCount);

// Writes the image component's picture as "Snapshot.gif" in its current
// coding, aside and renamed.
void SaveSnapshotGif(TImageEnCore& encoder);

class TSnapshotPipeline {
public:
    // encoder: PhoneDisplayEncoder1's picture.
    explicit TSnapshotPipeline(TImageEnCore& encoder) : encoder_(encoder) {}

    // Grabs a frame and saves it as "Snapshot.bmp" (VideoCap1:
    // SingleImageFile, GrabFrameNoStop, SaveFrameAsBitmap); false on failure.
    std::function<bool()> GrabToBitmap;
    // Fit_Hor_LED lit: fit to width 128, else to height 128.
    std::function<bool()> FitHorizontal;
    // GIFRadioButton checked.
    std::function<bool()> GifChecked;
    // BitmapDisplay shows the picture.
    std::function<void(const TBitmap&)> ShowBitmap;
    // GIF chosen: light NEC_Display_LED, show PhoneDisplayEncoder1, hide i_mode_Logo.
    std::function<void()> ShowEncoder;
    std::function<void(const TGifSizeDisplay&)> ShowSize;
    std::function<void(const std::string&)> SetColorCount;  // ColorCountEdit
    std::function<void(const std::string&)> SetStatus;      // panel 0 of ConnectStatus
    // MailChatBox checked and a data call up: send the file to the peer.
    std::function<bool()> PeerWanted;
    std::function<void(const std::string&)> SendToPeer;
    // Called whenever "Snapshot.gif" was written anew (ends an animation).
    std::function<void()> GifRewritten;

    // Set while the user's loaded picture stands in "Snapshot.bmp".
    bool PictureLoaded = false;
    int SnapshotCounter = 0;
    // The picture BitmapDisplay shows.
    const TBitmap& Display() const { return display_; }

    // ZozadiFotoBtn1Click. A failed grab raises Exception with
    // kGrabFailedText and converts and sends nothing; other failures pass
    // the loader's or the file's error on. "Snapshot.bmp" is gone afterwards
    // in every case.
    void Snapshot();
    // Load "Snapshot.bmp", fit, reduce to 256 colours, write "Snapshot.gif",
    // report the colour count.
    void ConvertBMPToGIF();
    // Refreshes the size display from "Snapshot.gif".
    TGifSizeDisplay ShowGIFSize();

    static constexpr const char* kGrabFailedText = "No picture from the capture driver";

private:
    TImageEnCore& encoder_;
    TBitmap display_;
};

}  // namespace vandrex
