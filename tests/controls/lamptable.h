#pragma once
// Test helpers: an independent copy of the lamp picture, written as groups of
// identical rows, and a pixel-by-pixel comparison of a drawn cell with it.

#include <QApplication>
#include <QImage>
#include <QPoint>

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <string>

namespace lamptest {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "controls_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

inline const std::map<int, std::string>& Rows() {
    static const std::map<int, std::string> rows = [] {
        struct Group {
            std::initializer_list<int> rows;
            const char* pixels;
        };
        const Group groups[] = {
            {{0, 13, 26, 39}, "666688886666666688886666"},
            {{1, 14, 27, 40}, "668800008866668800008866"},
            {{2}, "686011110686686099990686"},
            {{3}, "6801199110f668099ff990f6"},
            {{4}, "80119111118f8099f999998f"},
            {{5, 6}, "80191111118f809f9999998f"},
            {{7, 8}, "80111111118f80999999998f"},
            {{9}, "6801111118f66809999998f6"},
            {{10}, "6868111186f66868999986f6"},
            {{11, 24, 37, 50}, "66ff8888ff6666ff8888ff66"},
            {{12, 25, 38, 51}, "6666ffff66666666ffff6666"},
            {{15}, "6860222206866860aaaa0686"},
            {{16}, "68022aa220f6680aaffaa0f6"},
            {{17}, "8022a222228f80aafaaaaa8f"},
            {{18, 19}, "802a2222228f80afaaaaaa8f"},
            {{20, 21}, "80222222228f80aaaaaaaa8f"},
            {{22}, "6802222228f6680aaaaaa8f6"},
            {{23}, "6868222286f66868aaaa86f6"},
            {{28}, "6860333306866860bbbb0686"},
            {{29}, "68033bb330f6680bbffbb0f6"},
            {{30}, "8033b333338f80bbfbbbbb8f"},
            {{31, 32}, "803b3333338f80bfbbbbbb8f"},
            {{33, 34}, "80333333338f80bbbbbbbb8f"},
            {{35}, "6803333338f6680bbbbbb8f6"},
            {{36}, "6868333386f66868bbbb86f6"},
            {{41}, "686066660686686066660686"},
            {{42}, "68066ff660f668066ff660f6"},
            {{43}, "8066f666668f8066f666668f"},
            {{44, 45}, "806f6666668f806f6666668f"},
            {{46, 47}, "80666666668f80666666668f"},
            {{48}, "6806666668f66806666668f6"},
            {{49}, "6868666686f66868666686f6"},
        };
        std::map<int, std::string> result;
        for (const Group& g : groups)
            for (int r : g.rows)
                result[r] = g.pixels;
        return result;
    }();
    return rows;
}

inline const QRgb kTeal = qRgb(0, 128, 128);

inline QRgb PaletteColor(char digit) {
    switch (digit) {
    case '0': return qRgb(0, 0, 0);
    case '1': return qRgb(128, 0, 0);
    case '2': return qRgb(0, 128, 0);
    case '3': return qRgb(128, 128, 0);
    case '6': return kTeal;
    case '8': return qRgb(128, 128, 128);
    case '9': return qRgb(255, 0, 0);
    case 'a': return qRgb(0, 255, 0);
    case 'b': return qRgb(255, 255, 0);
    case 'f': return qRgb(255, 255, 255);
    }
    ADD_FAILURE() << "digit " << digit << " is not used by the lamp picture";
    return 0;
}

// The colour of picture pixel (x, y), 0 <= x < 24, 0 <= y < 52.
inline QRgb PicturePixel(int x, int y) {
    return PaletteColor(Rows().at(y).at(static_cast<size_t>(x)));
}

// Compares the 12 x 13 area of image at topLeft with cell (column, row) of the
// picture, teal standing for the background colour back.
inline ::testing::AssertionResult CellMatches(const QImage& image, QPoint topLeft, int column,
                                              int row, QRgb back) {
    int mismatches = 0;
    std::string first;
    for (int y = 0; y < 13; ++y) {
        for (int x = 0; x < 12; ++x) {
            QRgb want = PicturePixel(column * 12 + x, row * 13 + y);
            if (want == kTeal)
                want = back;
            const QPoint at = topLeft + QPoint(x, y);
            const QRgb got = image.valid(at) ? (image.pixel(at) | 0xff000000u) : 0;
            if (got != want && mismatches++ == 0)
                first = "first at cell (" + std::to_string(x) + "," + std::to_string(y) +
                        "): got #" + QString::number(got & 0xffffff, 16).toStdString() +
                        ", want #" + QString::number(want & 0xffffff, 16).toStdString();
        }
    }
    if (mismatches == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << mismatches << " pixels differ from cell (" << column << "," << row << "), " << first;
}

}  // namespace lamptest
