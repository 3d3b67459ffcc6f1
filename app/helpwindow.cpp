#include "app/helpwindow.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/exceptions.h"

namespace vandrex {

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpWindow"));
    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    browser_->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    resize(560, 480);
}

QString THelpWindow::FindHelpFile() {
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {dir + "/VANDREX.HLP", dir + "/../share/vandrex/VANDREX.HLP",
                                     dir + "/help/VANDREX.HLP"})
        if (QFileInfo(candidate).isFile()) return QFileInfo(candidate).absoluteFilePath();
    return {};
}

void THelpWindow::ShowContext(const QString& helpFile, const QString& context) {
    if (helpFile != file_) {
        QFile f(helpFile);
        if (!f.open(QIODevice::ReadOnly))
            throw EInOutError("Cannot open the help file \"" + helpFile.toStdString() + "\": " +
                              f.errorString().toStdString());
        // The page is HTML whatever its name says.
        browser_->setSearchPaths({QFileInfo(helpFile).absolutePath()});
        browser_->setSource(QUrl::fromLocalFile(helpFile), QTextDocument::HtmlResource);
        file_ = helpFile;
        setWindowTitle(browser_->documentTitle());
    }
    browser_->scrollToAnchor(QStringLiteral("context-") + context);
}

}  // namespace vandrex
