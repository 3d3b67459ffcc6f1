#include "app/panels/builders.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

namespace vandrex::ui {

QLabel* Label(QWidget* p, const char* name, const QString& text, int x, int y, int w, int h) {
    auto* l = Named(new QLabel(text, p), name);
    l->setGeometry(x, y, w, h);
    return l;
}

QLineEdit* Edit(QWidget* p, const char* name, int x, int y, int w, const QString& hint, int h) {
    auto* e = Named(new QLineEdit(p), name);
    e->setGeometry(x, y, w, h);
    e->setToolTip(hint);
    return e;
}

QPushButton* Button(QWidget* p, const char* name, const QString& caption, int x, int y, int w, int h,
                    const QString& hint) {
    auto* b = Named(new QPushButton(caption, p), name);
    b->setGeometry(x, y, w, h);
    b->setToolTip(hint);
    return b;
}

QToolButton* Speed(QWidget* p, const char* name, const QString& caption, int x, int y, int w, int h,
                   const QString& hint) {
    auto* b = Named(new QToolButton(p), name);
    b->setText(caption);
    b->setGeometry(x, y, w, h);
    b->setToolTip(hint);
    return b;
}

QCheckBox* Check(QWidget* p, const char* name, const QString& caption, int x, int y, int w, const QString& hint) {
    auto* c = Named(new QCheckBox(caption, p), name);
    c->setGeometry(x, y, w, 17);
    c->setToolTip(hint);
    return c;
}

QRadioButton* Radio(QWidget* p, const char* name, const QString& caption, int x, int y, int w) {
    auto* r = Named(new QRadioButton(caption, p), name);
    r->setGeometry(x, y, w, 17);
    return r;
}

QGroupBox* Group(QWidget* p, const char* name, const QString& caption, int x, int y, int w, int h,
                 const QString& hint) {
    auto* g = Named(new QGroupBox(caption, p), name);
    g->setGeometry(x, y, w, h);
    g->setToolTip(hint);
    return g;
}

QFrame* Picture(QWidget* p, const char* name, int x, int y, int w, int h, const QString& hint) {
    auto* f = Named(new QFrame(p), name);
    f->setGeometry(x, y, w, h);
    f->setFrameShape(QFrame::Box);
    f->setFrameShadow(QFrame::Sunken);
    f->setToolTip(hint);
    return f;
}

TLED* Led(QWidget* p, const char* name, TLEDColor color, int x, int y, const QString& hint) {
    auto* l = Named(new TLED(p), name);
    l->setColor(color);
    l->move(x, y);
    l->setToolTip(hint);
    return l;
}

QAction* Item(QMenu* menu, const char* name, const QString& caption, bool enabled) {
    auto* a = Named(new QAction(caption, menu), name);
    a->setEnabled(enabled);
    menu->addAction(a);
    return a;
}

QMenu* Submenu(QWidget* parent, const char* name, const QString& caption) {
    auto* m = Named(new QMenu(caption, parent), name);
    m->menuAction()->setObjectName(QString::fromLatin1(name) + "Action");
    return m;
}

}  // namespace vandrex::ui
