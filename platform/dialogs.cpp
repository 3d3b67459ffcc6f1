#include "platform/dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace vandrex {

namespace {

QWidget* activeParent() { return QApplication::activeWindow(); }

class DesktopDialogs : public TUserDialogs {
public:
    void ShowMessage(const QString& text) override {
        QMessageBox::information(activeParent(), QApplication::applicationName(), text);
    }
    void ShowError(const QString& text) override {
        QMessageBox::critical(activeParent(), QApplication::applicationName(), text);
    }
    Answer Ask(const QString& text, const QString& caption, bool yesNo) override {
        if (yesNo) {
            return QMessageBox::question(activeParent(), caption, text,
                                         QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes
                       ? Answer::Yes
                       : Answer::No;
        }
        return QMessageBox::information(activeParent(), caption, text,
                                        QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok
                   ? Answer::Ok
                   : Answer::Cancel;
    }
    QString OpenFile(const FileDialogRequest& r) override {
        return QFileDialog::getOpenFileName(activeParent(), r.title, r.initialName, r.filter);
    }
    QString SaveFile(const FileDialogRequest& r) override {
        return QFileDialog::getSaveFileName(activeParent(), r.title, r.initialName, r.filter);
    }
    std::optional<QColor> ChooseColor(const QColor& initial) override {
        const QColor c = QColorDialog::getColor(initial, activeParent());
        if (!c.isValid()) return std::nullopt;
        return c;
    }
    void Beep() override { QApplication::beep(); }
};

DesktopDialogs desktopDialogs;
TUserDialogs* current = nullptr;

}  // namespace

TUserDialogs& Dialogs() { return current ? *current : desktopDialogs; }
void SetDialogs(TUserDialogs* dialogs) { current = dialogs; }
TUserDialogs* InstalledDialogs() { return current; }

Answer TRecordingDialogs::Ask(const QString& text, const QString& caption, bool) {
    shown.push_back({"ask", caption + "\n" + text});
    if (answers.empty()) return Answer::Cancel;
    const Answer a = answers.front();
    answers.pop_front();
    return a;
}

QString TRecordingDialogs::OpenFile(const FileDialogRequest& request) {
    shown.push_back({"open", request.title});
    if (files.empty()) return QString();
    const QString f = files.front();
    files.pop_front();
    return f;
}

QString TRecordingDialogs::SaveFile(const FileDialogRequest& request) {
    shown.push_back({"save", request.title});
    if (files.empty()) return QString();
    const QString f = files.front();
    files.pop_front();
    return f;
}

std::optional<QColor> TRecordingDialogs::ChooseColor(const QColor& initial) {
    shown.push_back({"color", initial.name()});
    if (colors.empty()) return std::nullopt;
    const QColor c = colors.front();
    colors.pop_front();
    return c;
}

QStringList TRecordingDialogs::textsOf(const QString& kind) const {
    QStringList out;
    for (const auto& s : shown)
        if (s.kind == kind) out << s.text;
    return out;
}

}  // namespace vandrex
