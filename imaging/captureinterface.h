#pragma once
// What the main window and its tools ask of the capture component
// (VideoCap1). The capture component implements it; app/main.cpp chooses
// the implementation. The window never looks for capture devices itself:
// the driver list comes from here.

#include <QString>
#include <QStringList>
#include <functional>

namespace vandrex {

class TCaptureInterface {
public:
    virtual ~TCaptureInterface() = default;

    // --- required ---
    // The installed capture drivers' names; an entry's index is its driver
    // index. Asked at each activation, so a device plugged in meanwhile shows.
    virtual QStringList DriverNames() const = 0;
    // Selected driver, 0..9; -1 = none.
    virtual int DriverIndex() const = 0;
    virtual void SetDriverIndex(int index) = 0;
    // Connected to the selected driver. Connecting with no driver raises
    // ENoDriverException ("No capture driver selected").
    virtual bool DriverOpen() const = 0;
    virtual void SetDriverOpen(bool open) = 0;
    virtual bool VideoPreview() const = 0;
    virtual void SetVideoPreview(bool on) = 0;

    // --- optional ---
    // Writes the current frame to SingleImageFile as a bitmap; false when
    // no frame could be had.
    virtual bool SaveFrameAsBitmap() { return false; }
    virtual QString SingleImageFile() const { return QStringLiteral("Snapshot.bmp"); }
    // The driver's dialogs behind the menu items Source, Format, Display, Codecs.
    virtual void ShowSourceDialog() {}
    virtual void ShowFormatDialog() {}
    virtual void ShowDisplayDialog() {}
    virtual void ShowCompressionDialog() {}
    // Streaming capture to VideoFileName (the recorder's 2-pass path).
    virtual bool StartCapture() { return false; }
    virtual void StopCapture() {}

    // --- events, on the user-interface thread ---
    std::function<void(TCaptureInterface* sender, int nID, const QString& errorstr)> OnError;
};

}  // namespace vandrex
