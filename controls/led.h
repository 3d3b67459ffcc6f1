#pragma once
// TLED: a 12 x 13 lamp in one of three colours, lit or unlit, or the grey
// disabled lamp while the widget is disabled. The lamp's see-through pixels
// take the parent's background colour, so the lamp blends into any panel.

#include <QRect>
#include <QWidget>

class QPainter;

namespace vandrex {

enum TLEDColor { lcRed, lcGreen, lcYellow };

class TLED : public QWidget {
    Q_OBJECT

public:
    explicit TLED(QWidget* parent = nullptr);
    ~TLED() override;

    bool Lit() const { return lit_; }
    // A new value is drawn at once and reported through OnChangeState; the
    // current value changes nothing.
    void setLit(bool lit);

    TLEDColor Color() const { return color_; }
    // As setLit.
    void setColor(TLEDColor color);

    // Where the lamp cell is drawn; for a plain TLED the whole client area.
    virtual QRect LampRect() const;

    QSize sizeHint() const override;

signals:
    // A new Lit or Color value, or a change of the enabled state (sent before
    // the widget repaints itself for it).
    void OnChangeState(vandrex::TLED* sender);
    // Left button pressed and released over the lamp.
    void OnClick();
    // Left button double-clicked over the lamp.
    void OnDblClick();

protected:
    // The colour behind the lamp: the parent's background colour, or the
    // lamp's own window colour when it has no parent.
    QColor ParentColor() const;
    // Draws the cell for the current state into LampRect().
    void DrawLamp(QPainter& painter) const;

    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void StateChanged();

    bool lit_ = false;
    TLEDColor color_ = lcRed;
    bool pressed_ = false;
};

}  // namespace vandrex
