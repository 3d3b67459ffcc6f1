#pragma once
// Small builders the panels use to create their widgets with the design-time
// name (objectName = the component name), caption, hint and place.

#include <QString>

#include "controls/led.h"

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QToolButton;
class QWidget;

namespace vandrex {

namespace ui {

template <class W>
W* Named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel* Label(QWidget* p, const char* name, const QString& text, int x, int y, int w, int h = 16);
QLineEdit* Edit(QWidget* p, const char* name, int x, int y, int w, const QString& hint = {}, int h = 21);
QPushButton* Button(QWidget* p, const char* name, const QString& caption, int x, int y, int w, int h,
                    const QString& hint = {});
QToolButton* Speed(QWidget* p, const char* name, const QString& caption, int x, int y, int w, int h,
                   const QString& hint = {});
QCheckBox* Check(QWidget* p, const char* name, const QString& caption, int x, int y, int w, const QString& hint = {});
QRadioButton* Radio(QWidget* p, const char* name, const QString& caption, int x, int y, int w);
QGroupBox* Group(QWidget* p, const char* name, const QString& caption, int x, int y, int w, int h,
                 const QString& hint = {});
QFrame* Picture(QWidget* p, const char* name, int x, int y, int w, int h, const QString& hint = {});
TLED* Led(QWidget* p, const char* name, TLEDColor color, int x, int y, const QString& hint);
QAction* Item(QMenu* menu, const char* name, const QString& caption, bool enabled = true);
// A submenu; its own action is named "<name>Action".
QMenu* Submenu(QWidget* parent, const char* name, const QString& caption);

}  // namespace ui
}  // namespace vandrex
