// The options window and the RealMedia editor, shown modally from the main
// window, closed the way a user closes them: a mouse click on Close and the
// Escape key.

#include "window_fixture.h"

#include <QDialog>
#include <QTest>
#include <QTimer>
#include <functional>

#include "media/rmeditor.h"
#include "telephony/phoneoptions.h"

namespace vandrex::testing {
namespace {

class ModalWindows : public WindowTest {
protected:
    struct Seen {
        bool mainEnabled = true;
        bool windowEnabled = false;
        bool stuck = false;
    };

    // Opens the window through its menu item; once it is shown, `user` acts
    // on it. A window still open after 3 s is closed from code so the test
    // ends, and counts as stuck.
    Seen ShowAndClose(QAction* item, QDialog* window, const std::function<void(QDialog*)>& user) {
        Seen seen;
        QTimer::singleShot(20, window, [&, window] {
            seen.mainEnabled = form->isEnabled();
            seen.windowEnabled = window->isEnabled();
            user(window);
        });
        QTimer::singleShot(3000, window, [&, window] {
            if (!window->isVisible()) return;
            seen.stuck = true;
            window->done(QDialog::Rejected);
        });
        item->trigger();
        Process();
        return seen;
    }

    static void ClickClose(QDialog* window, const char* button) {
        QPushButton* close = window->findChild<QPushButton*>(QString::fromLatin1(button));
        ASSERT_NE(close, nullptr);
        QTest::mouseClick(close, Qt::LeftButton);
    }
    static void PressEscape(QDialog* window) { QTest::keyClick(window, Qt::Key_Escape); }
};

TEST_F(ModalWindows, OptionsWindowClosesWithMouseAndEscapeAndRunsActivationOnce) {
    WriteFile(DbPath(), CardsWithLastNames({"a", "b"}));
    Start();
    auto* options = new TPhoneOptions(form.get());
    form->SetOptionsWindow(options);
    QAction* info = form->control<QAction>("Info1");

    Click("Next");
    ASSERT_EQ(Panel1(), "1");
    Seen seen = ShowAndClose(info, options, [](QDialog* w) { ClickClose(w, "Button1"); });
    EXPECT_FALSE(seen.stuck) << "Close did not close the options window";
    EXPECT_FALSE(seen.mainEnabled) << "the main window stays enabled behind the options window";
    EXPECT_TRUE(seen.windowEnabled);
    EXPECT_TRUE(form->isEnabled());
    EXPECT_EQ(form->ActivationCount(), 2);
    EXPECT_EQ(doubles.line->OpenCalls, 3);  // activation, after the window, activation again
    EXPECT_EQ(Panel1(), "0");

    Click("Next");
    seen = ShowAndClose(info, options, PressEscape);
    EXPECT_FALSE(seen.stuck) << "Escape did not close the options window";
    EXPECT_TRUE(form->isEnabled());
    EXPECT_EQ(form->ActivationCount(), 3);
    EXPECT_EQ(Panel1(), "0");
}

TEST_F(ModalWindows, EditorClosesWithMouseAndEscapeAndRunsActivationOnce) {
    Start();
    auto* editor = new TRMeditor(form.get());
    form->SetEditorWindow(editor);
    QAction* item = form->control<QAction>("RM_Editor");

    Seen seen = ShowAndClose(item, editor, [](QDialog* w) { ClickClose(w, "CloseButton"); });
    EXPECT_FALSE(seen.stuck) << "Close did not close the editor";
    EXPECT_TRUE(seen.windowEnabled);
    EXPECT_EQ(form->ActivationCount(), 2);

    seen = ShowAndClose(item, editor, PressEscape);
    EXPECT_FALSE(seen.stuck) << "Escape did not close the editor";
    EXPECT_TRUE(form->isEnabled());
    EXPECT_EQ(form->ActivationCount(), 3);
}

}  // namespace
}  // namespace vandrex::testing
