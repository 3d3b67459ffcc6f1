#pragma once
// What the main window and its tools ask of the capture component
// (VideoCap1). The capture component implements it; app/main.cpp chooses
// the implementation. The window never looks for capture devices itself:
// the driver list comes from here.

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

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
    // Reading the preview state may ask the driver, so it is not const.
    virtual bool VideoPreview() = 0;
    virtual void SetVideoPreview(bool on) = 0;

    // --- optional ---
    // The file SaveFrameAsBitmap writes.
    virtual void SetSingleImageFile(const QString&) {}
    // Takes one whole frame without stopping the preview; false when none came.
    virtual bool GrabFrameNoStop() { return false; }
    // Writes the grabbed frame to the single-image file as a bitmap; false
    // when no frame could be had.
    virtual bool SaveFrameAsBitmap() { return false; }
    // The driver's dialogs behind the menu items Source, Format, Display,
    // Codecs; false when there is no driver or it has no such dialog.
    virtual bool ShowSourceDialog() { return false; }
    virtual bool ShowFormatDialog() { return false; }
    virtual bool ShowDisplayDialog() { return false; }
    virtual bool ShowCompressionDialog() { return false; }
    // Streaming capture to VideoFileName (the recorder's 2-pass path).
    virtual bool StartCapture() { return false; }
    virtual bool StopCapture() { return false; }
    // The widget that shows the camera's picture, placed by the window where
    // the capture monitor stands; none for a component without a picture.
    virtual QWidget* Monitor() { return nullptr; }

    // --- events, on the user-interface thread ---
    std::function<void(TCaptureInterface* sender, int nID, const QString& errorstr)> OnError;
};

}  // namespace vandrex
