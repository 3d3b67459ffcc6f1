#pragma once
// THelpWindow: the program's own help viewer, a text browser on the shipped
// help page. Contexts are anchors of the page ("0" is the anchor
// "context-0"); links inside the page move within it, links to the web open
// in the desktop's browser.

#include <QWidget>

class QTextBrowser;

namespace vandrex {

class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget* parent = nullptr);

    // Loads the page (when it is not the one shown) and scrolls to the
    // context. Throws EInOutError naming the file when it cannot be read.
    void ShowContext(const QString& helpFile, const QString& context);
    QTextBrowser* Browser() const { return browser_; }

    // The shipped page: beside the executable, in the installed share
    // folder, or in the source tree's help folder while developing. Empty
    // when none exists.
    static QString FindHelpFile();

private:
    QTextBrowser* browser_;
    QString file_;
};

}  // namespace vandrex
