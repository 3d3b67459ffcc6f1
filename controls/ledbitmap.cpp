#include "controls/ledbitmap.h"

#include <QPainter>

#include <algorithm>
#include <memory>

namespace vandrex {

namespace {

// The standard 16-colour palette, by index.
constexpr QRgb kPalette[16] = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255),
};

// The lamp picture, top row first, one palette index (hex digit) per pixel.
constexpr const char* kPixels[TLEDBitmap::Rows * TLEDBitmap::CellHeight] = {
    "666688886666666688886666",  // 0: red
    "668800008866668800008866",
    "686011110686686099990686",
    "6801199110f668099ff990f6",
    "80119111118f8099f999998f",
    "80191111118f809f9999998f",
    "80191111118f809f9999998f",
    "80111111118f80999999998f",
    "80111111118f80999999998f",
    "6801111118f66809999998f6",
    "6868111186f66868999986f6",
    "66ff8888ff6666ff8888ff66",
    "6666ffff66666666ffff6666",
    "666688886666666688886666",  // 13: green
    "668800008866668800008866",
    "6860222206866860aaaa0686",
    "68022aa220f6680aaffaa0f6",
    "8022a222228f80aafaaaaa8f",
    "802a2222228f80afaaaaaa8f",
    "802a2222228f80afaaaaaa8f",
    "80222222228f80aaaaaaaa8f",
    "80222222228f80aaaaaaaa8f",
    "6802222228f6680aaaaaa8f6",
    "6868222286f66868aaaa86f6",
    "66ff8888ff6666ff8888ff66",
    "6666ffff66666666ffff6666",
    "666688886666666688886666",  // 26: yellow
    "668800008866668800008866",
    "6860333306866860bbbb0686",
    "68033bb330f6680bbffbb0f6",
    "8033b333338f80bbfbbbbb8f",
    "803b3333338f80bfbbbbbb8f",
    "803b3333338f80bfbbbbbb8f",
    "80333333338f80bbbbbbbb8f",
    "80333333338f80bbbbbbbb8f",
    "6803333338f6680bbbbbb8f6",
    "6868333386f66868bbbb86f6",
    "66ff8888ff6666ff8888ff66",
    "6666ffff66666666ffff6666",
    "666688886666666688886666",  // 39: disabled (face transparent)
    "668800008866668800008866",
    "686066660686686066660686",
    "68066ff660f668066ff660f6",
    "8066f666668f8066f666668f",
    "806f6666668f806f6666668f",
    "806f6666668f806f6666668f",
    "80666666668f80666666668f",
    "80666666668f80666666668f",
    "6806666668f66806666668f6",
    "6868666686f66868666686f6",
    "66ff8888ff6666ff8888ff66",
    "6666ffff66666666ffff6666",
};

int HexDigit(char c) {
    return c <= '9' ? c - '0' : c - 'a' + 10;
}

std::unique_ptr<TLEDBitmap>& Shared() {
    static std::unique_ptr<TLEDBitmap> shared;
    return shared;
}

}  // namespace

TLEDBitmap::TLEDBitmap()
    : bitmap_(Columns * CellWidth, Rows * CellHeight, QImage::Format_Indexed8) {
    bitmap_.setColorTable(QList<QRgb>(std::begin(kPalette), std::end(kPalette)));
    for (int y = 0; y < bitmap_.height(); ++y) {
        uchar* line = bitmap_.scanLine(y);
        for (int x = 0; x < bitmap_.width(); ++x)
            line[x] = static_cast<uchar>(HexDigit(kPixels[y][x]));
    }
    transparent_ = bitmap_.pixel(0, bitmap_.height() - 1);
}

TLEDBitmap* TLEDBitmap::Instance() {
    return Shared().get();
}

void TLEDBitmap::Attach(TLED* lamp) {
    auto& shared = Shared();
    if (!shared)
        shared.reset(new TLEDBitmap);
    if (!shared->lamps_.contains(lamp))
        shared->lamps_.append(lamp);
}

void TLEDBitmap::Detach(TLED* lamp) {
    auto& shared = Shared();
    if (!shared)
        return;
    shared->lamps_.removeAll(lamp);
    if (shared->lamps_.isEmpty())
        shared.reset();
}

QImage TLEDBitmap::Cell(int column, int row, QColor brush) const {
    column = std::clamp(column, 0, Columns - 1);
    row = std::clamp(row, 0, Rows - 1);
    const QRgb fill = brush.rgb();
    QImage cell(CellWidth, CellHeight, QImage::Format_RGB32);
    for (int y = 0; y < CellHeight; ++y) {
        for (int x = 0; x < CellWidth; ++x) {
            const QRgb pixel = bitmap_.pixel(column * CellWidth + x, row * CellHeight + y);
            cell.setPixel(x, y, pixel == transparent_ ? fill : pixel);
        }
    }
    return cell;
}

void TLEDBitmap::DrawCell(QPainter& painter, QPoint topLeft, int column, int row,
                          QColor brush) const {
    painter.drawImage(topLeft, Cell(column, row, brush));
}

}  // namespace vandrex
