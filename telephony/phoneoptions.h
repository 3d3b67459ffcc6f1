#pragma once
// TPhoneOptions, the options window: line, direct-access script and log,
// capture driver and temporary folder. Shown modally from the main window's
// Info menu.

#include <QDialog>

namespace vandrex {

class TPhoneOptions : public QDialog {
    Q_OBJECT
public:
    explicit TPhoneOptions(QWidget* parent = nullptr);
};

}  // namespace vandrex
