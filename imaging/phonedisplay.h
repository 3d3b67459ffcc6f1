#pragma once
// The simulated handset display PhoneLCDDisplay: the image view
// PhoneDisplayEncoder1 (120 x 128, on its own image component, white
// background, the picture zoomed to fit), the i-mode logo shown until the
// first GIF, the status strip PhoneDisplayStatusLow whose double click loads
// a picture, and the coding lamp NEC_Display_LED.

#include <QFrame>
#include <QLabel>

#include "imaging/imageencore.h"

namespace vandrex {

class TLEDLabel;

// An image view on an image component it owns.
class TImageEnView : public QWidget {
    Q_OBJECT
public:
    explicit TImageEnView(QWidget* parent = nullptr);
    TImageEnCore& Core() { return core_; }
    // Zoom percent that shows the whole picture: the smaller of
    // trunc(view width / (picture width / 100)) and the same for heights;
    // 100 without a picture.
    int FitZoom() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TImageEnCore core_;
};

// A label that reports double clicks.
class TDoubleClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void DoubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

class TPhoneLCDDisplay : public QFrame {
    Q_OBJECT
public:
    explicit TPhoneLCDDisplay(QWidget* parent = nullptr);

    TImageEnView* PhoneDisplayEncoder1;
    QLabel* i_mode_Logo;
    TDoubleClickLabel* PhoneDisplayStatusLow;
    TLEDLabel* NEC_Display_LED;

    // A GIF is shown: the lamp lights, the view replaces the logo.
    void ShowEncoder();
    // The coding lamp: red for LZW, green otherwise, with its hint.
    void SetCodingLamp(bool lit, bool red, const QString& hint);
};

}  // namespace vandrex
