#pragma once
// TRMeditor, the RealMedia editor window: cutting, joining and tagging of
// RealMedia files. Shown modally from the main window's menu.

#include <QDialog>

namespace vandrex {

class TRMeditor : public QDialog {
    Q_OBJECT
public:
    explicit TRMeditor(QWidget* parent = nullptr);
};

}  // namespace vandrex
