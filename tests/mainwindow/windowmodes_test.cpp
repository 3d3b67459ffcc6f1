// The window modes ShowCard lays out.

#include "window_fixture.h"

#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRadioButton>

#include "app/panels/mailpanel.h"
#include "app/panels/optimizerpanel.h"
#include "app/panels/panels.h"
#include "app/windowmodes.h"
#include "controls/led.h"
#include "platform/fileattributes.h"

namespace vandrex::testing {
namespace {

using Modes = WindowTest;

bool Visible(TForm1* f, const char* name) { return f->control<QWidget>(name)->isVisibleTo(f); }

// With VANDREX_SCREENSHOTS set, each mode is saved there as a picture for a
// look by eye.
void Snapshot(TForm1* f, const char* name) {
    const QByteArray out = qgetenv("VANDREX_SCREENSHOTS");
    if (out.isEmpty()) return;
    QDir().mkpath(QString::fromLocal8Bit(out));
    f->grab().save(QString::fromLocal8Bit(out) + "/" + name + ".png");
}

TEST_F(Modes, TextMailModeShowsTheCard) {
    WriteFile(DbPath(), CardsWithLastNames({"Alpha"}));
    Start();
    EXPECT_EQ(form->Modes().Mode(), WindowMode::TextMail);
    EXPECT_EQ(Panel0(), "Text mail mode");
    for (const char* n : {"Edit1", "Edit11", "Label11", "New", "Save", "Navigatie", "Correctie", "Close"})
        EXPECT_TRUE(Visible(form.get(), n)) << n;
    EXPECT_FALSE(Visible(form.get(), "WebPhoneDialer"));
    EXPECT_EQ(form->control<QWidget>("Slider")->width(), 305);
    EXPECT_EQ(form->control<QWidget>("TrackBar1")->width(), 289);
    EXPECT_EQ(form->control<QPlainTextEdit>("MailSheet")->height(), 135);
    EXPECT_EQ(form->control<QGroupBox>("Navigatie")->title(), " Navigatie ");
    EXPECT_EQ(form->windowTitle(), kForm1Caption);
    Snapshot(form.get(), "text-mail");
}

TEST_F(Modes, HtmlMailModeHidesTheCardAndShowsTheTools) {
    WriteFile(DbPath(), CardsWithLastNames({"Alpha"}));
    Start();
    Check("VideoPhone")->setChecked(true);
    Process();
    EXPECT_EQ(form->Modes().Mode(), WindowMode::HtmlMail);
    EXPECT_EQ(Panel0(), "HTML mail mode");
    for (const char* n : {"Edit1", "Label1", "New", "Save", "Navigatie", "Correctie"})
        EXPECT_FALSE(Visible(form.get(), n)) << n;
    for (const char* n : {"WebPhoneDialer", "DataGroupBox", "Zozadi", "MailEntryForm", "WebPhoneButton2"})
        EXPECT_TRUE(Visible(form.get(), n)) << n;
    EXPECT_EQ(form->control<QWidget>("Slider")->width(), 105);
    EXPECT_EQ(form->control<QWidget>("TrackBar1")->width(), 89);
    EXPECT_EQ(form->control<QLineEdit>("WebSiteAddressEdit")->text(), TMailPanel::kNoFtpValues);
    EXPECT_FALSE(form->control<QWidget>("WebSiteAddressCheckBox")->isEnabled());
    EXPECT_EQ(form->control<QLineEdit>("ObjectRichEdit")->text(), "TV");
    Snapshot(form.get(), "html-mail");

    form->control<QLineEdit>("RemoteHost_Edit")->setText("ftp.example.org");
    form->control<QLineEdit>("UserIDEdit")->setText("kim");
    form->ShowCard();
    EXPECT_EQ(form->control<QLineEdit>("WebSiteAddressEdit")->text(), "http://ftp.example.org/~kim/");
    EXPECT_TRUE(form->control<QWidget>("WebSiteAddressCheckBox")->isEnabled());
}

TEST_F(Modes, ChatAndFtpVariantsOfHtmlMode) {
    Start();
    Check("VideoPhone")->setChecked(true);
    Check("MailChatBox")->setChecked(true);
    Process();
    EXPECT_EQ(Panel0(), "Phone Chat mode");
    auto* mail = form->control<QGroupBox>("MailEntryForm");
    EXPECT_EQ(mail->title(), " ChatBox ");
    EXPECT_EQ(mail->width(), 377);
    EXPECT_TRUE(Visible(form.get(), "MailEntryChatMemo"));
    EXPECT_FALSE(Visible(form.get(), "MailSheet"));
    EXPECT_FALSE(Check("VideoPhone")->isEnabled());
    EXPECT_FALSE(form->Panels().Optimizer.UseLZW());
    Snapshot(form.get(), "phone-chat");

    Check("MailChatBox")->setChecked(false);
    Check("FTPCheckBox")->setChecked(true);
    Process();
    EXPECT_EQ(Panel0(), "FTP Settings");
    EXPECT_EQ(mail->title(), " Ftp [i-mode] ");
    for (const char* n : {"RemoteHost_Edit", "UserIDEdit", "PasswordEdit", "RemotePort_Edit", "FTP_Prefix", "SMTPEdit"})
        EXPECT_TRUE(Visible(form.get(), n)) << n;
    EXPECT_FALSE(Visible(form.get(), "MailChatBox"));
    EXPECT_FALSE(Check("VideoPhone")->isEnabled());
    Snapshot(form.get(), "ftp-settings");
}

TEST_F(Modes, PlayerModeAndBackToTheCards) {
    WriteFile(DbPath(), CardsWithLastNames({"b", "a"}));
    Start();
    Click("Next");
    const char* const off[] = {"LossProtection", "Target56KModem", "TargetSingleISDN", "TargetDualISDN",
                               "TargetDSLCableModem", "TargetLAN", "VideoCroppingEnabled", "DoOutputServer",
                               "MobilePlay"};
    for (const char* name : off) doubles.producer->SetProperty(name, true);
    doubles.producer->SetProperty("DoOutputFile", false);
    const QString textModeStatus = Panel0();
    Check("CheckBox1")->setChecked(true);
    Process();
    EXPECT_EQ(form->Modes().Mode(), WindowMode::Player);
    // Nothing covers the player panel's bottom row; the status texts wait.
    auto* client = form->control<QWidget>("ClientArea");
    auto* cards = form->control<QWidget>("PlayerExitButton");
    const QRect cardsRect(cards->mapTo(client, QPoint(0, 0)), cards->size());
    EXPECT_TRUE(client->rect().contains(cardsRect));
    EXPECT_FALSE(Visible(form.get(), "ConnectStatus"));
    EXPECT_EQ(client->childAt(cardsRect.center()), cards);
    EXPECT_EQ(client->childAt(cardsRect.bottomLeft() + QPoint(2, -1)), cards);
    EXPECT_EQ(Panel0(), textModeStatus);
    for (const char* name : off) EXPECT_FALSE(doubles.producer->Get(name).toBool()) << name;
    EXPECT_EQ(form->size(), QSize(392, 293 + form->menuBar()->sizeHint().height()));
    EXPECT_TRUE(Visible(form.get(), "Panorama"));
    EXPECT_FALSE(Visible(form.get(), "New"));
    EXPECT_FALSE(Visible(form.get(), "Edit2"));
    EXPECT_FALSE(Check("CheckBox1")->isEnabled());
    EXPECT_FALSE(form->control<QAction>("Info1")->isVisible());
    EXPECT_FALSE(form->control<QAction>("CreateMixFile")->isEnabled());
    EXPECT_EQ(form->control<QWidget>("Real_Player_1")->property("Controls").toString(), "Statusbar");
    EXPECT_EQ(form->control<QWidget>("Real_Player_1")->geometry(), QRect(79, 260, 307, 27));
    EXPECT_EQ(doubles.producer->Get("DoOutputFile").toBool(), true);
    EXPECT_EQ(Panel1(), "1");  // still the card number
    Snapshot(form.get(), "player");

    Click("PlayerExitButton");
    EXPECT_EQ(form->Modes().Mode(), WindowMode::TextMail);
    EXPECT_FALSE(Check("CheckBox1")->isChecked());
    EXPECT_TRUE(Check("CheckBox1")->isEnabled());
    EXPECT_EQ(LastNamesIn(DbPath()), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Edit("Edit2")->text(), "a");
    EXPECT_EQ(form->height(), 609 + form->menuBar()->sizeHint().height());
    EXPECT_TRUE(Visible(form.get(), "ConnectStatus"));
    EXPECT_EQ(Panel0(), "Text mail mode");
}

TEST_F(Modes, SortInPlayerModeKeepsEveryCard) {
    // In player mode the edits are not filled from the card; a sort there
    // must still move the cards themselves.
    WriteFile(DbPath(), CardsWithLastNames({"c", "b", "a"}));
    Start();
    Check("CheckBox1")->setChecked(true);
    Process();
    form->Cards().Database().SortCards();
    EXPECT_EQ(LastNamesIn(DbPath()), (std::vector<std::string>{"a", "b", "c"}));
}

}  // namespace
}  // namespace vandrex::testing

namespace vandrex::testing {
namespace {

// The large i-mode display (NEC_Display_LED lit) widens the web address and
// allows GIF pictures; the small one and the chat take JPEG.
TEST_F(Modes, HandsetDisplayDecidesAddressWidthAndPictureFormat) {
    Start();
    auto* nec = form->control<TLED>("NEC_Display_LED");
    auto* address = form->control<QLineEdit>("WebSiteAddressEdit");
    auto* gif = form->control<QRadioButton>("GIFRadioButton");
    auto* jpg = form->control<QRadioButton>("JPGRadioButton");

    nec->setLit(true);
    gif->setChecked(true);
    form->ShowCard();
    EXPECT_EQ(address->width(), 518);
    EXPECT_TRUE(gif->isChecked()) << "the large display keeps GIF";

    nec->setLit(false);
    form->ShowCard();
    EXPECT_EQ(address->width(), 357);
    EXPECT_TRUE(jpg->isChecked()) << "the small display takes JPEG";

    nec->setLit(true);
    gif->setChecked(true);
    Check("VideoPhone")->setChecked(true);
    Check("MailChatBox")->setChecked(true);
    Process();
    EXPECT_EQ(address->width(), 518);
    EXPECT_TRUE(jpg->isChecked()) << "chat pictures go as JPEG";
}

// Player mode on hides the card file from the desktop's file lists.
TEST_F(Modes, PlayerSwitchHidesTheCardFile) {
    Start();
    ASSERT_TRUE(SetFileAttributes(DbPath(), kFileAttributeArchive | kFileAttributeReadOnly));
    Check("CheckBox1")->click();
    Process();
    EXPECT_EQ(GetFileAttributes(DbPath()), kFileAttributeHidden);
}

}  // namespace
}  // namespace vandrex::testing
