#include "telephony/phoneoptions.h"

#include <QPushButton>

namespace vandrex {

TPhoneOptions::TPhoneOptions(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PhoneOptions"));
    setWindowTitle(QStringLiteral("Options"));
    setFixedSize(360, 240);
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    close->setObjectName(QStringLiteral("Sluiten"));
    close->setGeometry(270, 204, 80, 25);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace vandrex
