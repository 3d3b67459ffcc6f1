// The help: a double click on the information image shows the shipped help
// page in the program's own help window, and its links work.

#include "window_fixture.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>

#include "app/helpwindow.h"

namespace vandrex::testing {
namespace {

class Help : public WindowTest {
protected:
    // The page that ships beside the program.
    static QString ShippedPage() { return QFileInfo(VANDREX_EXE).absolutePath() + "/VANDREX.HLP"; }

    void DoubleClickImage2() {
        QTest::mouseDClick(form->control<QLabel>("Image2"), Qt::LeftButton);
        Process();
    }

    // Where the browser shows the link to `href`, in viewport coordinates.
    static QPoint LinkPosition(QTextBrowser* b, const QString& href) {
        for (QTextBlock block = b->document()->begin(); block.isValid(); block = block.next())
            for (auto it = block.begin(); !it.atEnd(); ++it)
                if (it.fragment().charFormat().anchorHref() == href) {
                    QTextCursor c(b->document());
                    c.setPosition(it.fragment().position() + 1);
                    return b->cursorRect(c).center();
                }
        return {-1, -1};
    }
};

TEST_F(Help, DoubleClickOnImage2ShowsTheShippedPageWithItsTitle) {
    QFile page(ShippedPage());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << ShippedPage().toStdString();
    const auto title = QRegularExpression("<title>(.*)</title>").match(QString::fromUtf8(page.readAll()));
    ASSERT_TRUE(title.hasMatch());

    Start();
    form->SetHelpFile(ShippedPage());
    DoubleClickImage2();
    THelpWindow* help = form->HelpWindow();
    ASSERT_NE(help, nullptr) << "no help window";
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->windowTitle(), title.captured(1));
    EXPECT_TRUE(help->Browser()->toPlainText().contains("Your DataBase.DAT"));
    // Context 0 is the heading at the top of the page.
    const int top = help->Browser()->verticalScrollBar()->value();
    EXPECT_LT(top, 20);
    EXPECT_TRUE(dialogs.shown.empty());

    // A contents link moves the page to its section.
    QTextBrowser* b = help->Browser();
    const QPoint link = LinkPosition(b, "#companions");
    ASSERT_GE(link.y(), 0) << "the page has its contents links";
    QTest::mouseClick(b->viewport(), Qt::LeftButton, {}, link);
    Process();
    EXPECT_GT(b->verticalScrollBar()->value(), top + 100) << "the link did not move the page";

    // A second double click shows the same window at context 0 again.
    DoubleClickImage2();
    EXPECT_EQ(form->HelpWindow(), help);
    EXPECT_EQ(b->verticalScrollBar()->value(), top);
}

TEST_F(Help, AMissingPageIsReported) {
    Start();
    form->SetHelpFile(dir.filePath("nothing/VANDREX.HLP"));
    DoubleClickImage2();
    ASSERT_EQ(dialogs.errors().size(), 1);
    EXPECT_TRUE(dialogs.errors()[0].contains("nothing/VANDREX.HLP")) << dialogs.errors()[0].toStdString();
}

}  // namespace
}  // namespace vandrex::testing
