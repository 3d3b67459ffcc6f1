#pragma once
// The picture area: the group Picture with the line icon Image1, the capture
// monitor VideoCap1 sharing its place, the information image Image2 (double
// click: help), the instance image Image3 (its hint is the instance number),
// the recording lamp picture Rec_Image1 and SDCard_Image.

#include <QObject>

#include "app/panels/windowmode.h"

class QFrame;
class QGroupBox;
class QLabel;
class QWidget;

namespace vandrex {

class TPicturePanel : public QObject {
    Q_OBJECT
public:
    TPicturePanel(QWidget* client, QObject* parent);

    void ShowInstanceNumber(const QString& number);
    // VideoPhone on: the capture monitor in place of the line icon.
    void ShowCaptureMonitor(bool on);
    // The capture component's own picture widget takes the monitor's place
    // (and name); without one the plain placeholder stays.
    void SetCaptureMonitor(QWidget* monitor);
    // The time-lapse timer hides the monitor while it runs.
    void ShowCameraOnly(bool visible);
    void Layout(WindowMode mode);
    // The capture monitor's place; front: above every other control.
    void PlaceCamera(int left, int top, bool front);

signals:
    void Image2DblClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QGroupBox* Picture = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* Image3 = nullptr;
    QFrame* Image1 = nullptr;
    QWidget* VideoCap1 = nullptr;
    QFrame* Rec_Image1 = nullptr;
    QFrame* SDCard_Image = nullptr;
};

}  // namespace vandrex
