#pragma once
// The lamp picture shared by every lamp control: a 24 x 52 picture of
// 2 columns x 4 rows of 12 x 13 cells (column 0 unlit, column 1 lit; row 0
// red, row 1 green, row 2 yellow, row 3 the disabled lamp), drawn in the
// standard 16-colour palette. Pixels of the transparent colour (the colour of
// the bottom-left pixel, teal) are replaced by a brush colour when a cell is
// drawn.
//
// One instance exists exactly while at least one lamp control exists: the
// first TLED created makes it, each TLED registers itself, and the instance
// is freed when the last one unregisters. GUI thread only, like the widgets.

#include <QColor>
#include <QImage>
#include <QList>
#include <QPoint>

class QPainter;

namespace vandrex {

class TLED;

class TLEDBitmap {
public:
    static constexpr int CellWidth = 12;
    static constexpr int CellHeight = 13;
    static constexpr int Columns = 2;
    static constexpr int Rows = 4;
    static constexpr int DisabledRow = 3;

    // The shared instance, or nullptr while no lamp control exists.
    static TLEDBitmap* Instance();

    // Called by TLED's constructor and destructor. Attach creates the shared
    // instance on first use; Detach frees it when the last lamp leaves.
    static void Attach(TLED* lamp);
    static void Detach(TLED* lamp);

    // The whole picture, 24 x 52, indexed with the 16-colour palette.
    const QImage& Bitmap() const { return bitmap_; }
    // The colour of the picture's bottom-left pixel.
    QRgb TransparentColor() const { return transparent_; }
    // Every lamp control currently alive, in creation order.
    const QList<TLED*>& Lamps() const { return lamps_; }

    // The 12 x 13 cell at (column, row) with every pixel of the transparent
    // colour replaced by brush. Column and row are clamped into the grid.
    QImage Cell(int column, int row, QColor brush) const;
    // Draws that cell with its top-left corner at topLeft.
    void DrawCell(QPainter& painter, QPoint topLeft, int column, int row, QColor brush) const;

    TLEDBitmap(const TLEDBitmap&) = delete;
    TLEDBitmap& operator=(const TLEDBitmap&) = delete;

private:
    TLEDBitmap();

    QImage bitmap_;
    QRgb transparent_;
    QList<TLED*> lamps_;
};

}  // namespace vandrex
