#pragma once
// Controls are found by their component name (objectName), as handlers in the
// window classes refer to them.

#include <QObject>
#include <QString>

#include "platform/exceptions.h"

namespace vandrex {

template <class W>
W* Control(const QObject* root, const char* name) {
    W* w = root->findChild<W*>(QString::fromLatin1(name));
    if (!w) throw Exception(std::string("missing control ") + name);
    return w;
}

}  // namespace vandrex
