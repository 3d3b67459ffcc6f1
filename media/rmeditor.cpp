#include "media/rmeditor.h"

#include <QPushButton>

namespace vandrex {

TRMeditor::TRMeditor(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("RMeditor"));
    setWindowTitle(QStringLiteral("RealMedia Editor"));
    setFixedSize(420, 300);
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    close->setObjectName(QStringLiteral("CloseButton"));
    close->setGeometry(330, 264, 80, 25);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace vandrex
