#pragma once
// TLEDLabel: a lamp with a one-line caption on one side of it. The layout
// follows the widget's size: the lamp keeps its 12 x 13 cell and the caption
// takes the rest of the area on its side, 3 pixels away from the lamp.

#include "controls/led.h"

#include <QString>

namespace vandrex {

enum TCaptionAlignment { caLeft, caRight, caTop, caBottom };

class TLEDLabel : public TLED {
    Q_OBJECT

public:
    static constexpr int DefaultWidth = 97;
    static constexpr int DefaultHeight = 17;

    explicit TLEDLabel(QWidget* parent = nullptr);

    QString Caption() const { return caption_; }
    void setCaption(const QString& caption);

    // Which side of the lamp the caption is on (default caRight).
    TCaptionAlignment Alignment() const { return alignment_; }
    void setAlignment(TCaptionAlignment alignment);

    // True leaves the area around the lamp and caption unpainted, so whatever
    // the parent drew shows through; false fills it with the parent's colour.
    bool Transparent() const { return transparent_; }
    void setTransparent(bool transparent);

    // The lamp cell and the caption area for the current size and alignment,
    // in widget coordinates. The caption area may be empty on a small label.
    QRect LampRect() const override;
    QRect CaptionRect() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void DrawCaption(QPainter& painter) const;

    QString caption_;
    TCaptionAlignment alignment_ = caRight;
    bool transparent_ = false;
};

}  // namespace vandrex
