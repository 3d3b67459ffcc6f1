// Panels on their own: each lays out its widgets from the mode and the clone
// state it is told, and nothing else writes them.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <gtest/gtest.h>

#include "app/panels/cardpanel.h"
#include "app/panels/modepanel.h"
#include "platform/exceptions.h"
#include "window_fixture.h"

namespace vandrex::testing {
namespace {

class CardPanelTest : public ::testing::Test {
protected:
    template <class W>
    W* Get(const char* name) {
        W* w = client.findChild<W*>(QString::fromLatin1(name));
        if (!w) throw Exception(std::string("missing control ") + name);
        return w;
    }
    bool Visible(const char* name) { return Get<QWidget>(name)->isVisibleTo(&client); }
    bool Enabled(const char* name) { return Get<QWidget>(name)->isEnabled(); }

    QWidget client;
    TCardPanel card{&client, nullptr};
};

TEST_F(CardPanelTest, FirstCopyInTextMailModeShowsAndEnablesEverything) {
    card.ApplyCloneState(false);
    card.Layout(WindowMode::TextMail, {false, false});
    for (const char* n : {"Edit1", "Edit11", "Label3", "New", "Save", "Navigatie", "Correctie", "Panel1", "Slider"})
        EXPECT_TRUE(Visible(n)) << n;
    for (const char* n : {"New", "Save", "Erase", "Previous", "Next", "TrackBar1", "Close"}) EXPECT_TRUE(Enabled(n)) << n;
    EXPECT_FALSE(card.CommandsLocked());
    EXPECT_EQ(Get<QWidget>("Slider")->width(), 305);
    EXPECT_EQ(Get<QWidget>("TrackBar1")->width(), 289);
}

TEST_F(CardPanelTest, ACloneKeepsItsHandsOffTheCard) {
    card.ApplyCloneState(true);
    card.Layout(WindowMode::TextMail, {true, true});
    for (const char* n : {"Edit2", "Label2"}) EXPECT_FALSE(Visible(n)) << n;
    for (const char* n : {"New", "Save", "Erase", "Previous", "Next", "TrackBar1"}) EXPECT_FALSE(Enabled(n)) << n;
    EXPECT_TRUE(card.CommandsLocked());
    EXPECT_TRUE(Enabled("Close")) << "a clone may end";
}

TEST_F(CardPanelTest, AnActiveSenderLocksOnlyTheChangingCommandsInTextMailMode) {
    card.ApplyCloneState(false);
    card.Layout(WindowMode::TextMail, {false, true});
    for (const char* n : {"New", "Save", "Erase"}) EXPECT_FALSE(Enabled(n)) << n;
    for (const char* n : {"Previous", "Next", "TrackBar1"}) EXPECT_TRUE(Enabled(n)) << n;
    EXPECT_TRUE(card.CommandsLocked());

    // HTML mode hides the commands instead; the sender does not lock them there.
    card.ApplyCloneState(false);
    card.Layout(WindowMode::HtmlMail, {false, true});
    EXPECT_FALSE(card.CommandsLocked());
    for (const char* n : {"Edit1", "New", "Save", "Navigatie", "Correctie"}) EXPECT_FALSE(Visible(n)) << n;
    EXPECT_EQ(Get<QWidget>("Slider")->width(), 105);
    EXPECT_EQ(Get<QWidget>("TrackBar1")->width(), 89);
}

TEST_F(CardPanelTest, PlayerModeHidesTheCardAndDisablesItsCommands) {
    card.Layout(WindowMode::Player, {false, false});
    for (const char* n : {"Edit2", "New", "Panel1", "Slider"}) EXPECT_FALSE(Visible(n)) << n;
    for (const char* n : {"Save", "Erase", "Previous", "Next", "TrackBar1"}) EXPECT_FALSE(Enabled(n)) << n;
}

TEST_F(CardPanelTest, ClonesLockAndTheLastOneUnlocks) {
    card.ApplyCloneState(false);
    card.Layout(WindowMode::TextMail, {false, false});
    card.LockForClones();
    for (const char* n : {"Save", "Erase", "New", "Close"}) EXPECT_FALSE(Enabled(n)) << n;
    EXPECT_TRUE(card.CommandsLocked());
    card.UnlockAfterClones();
    for (const char* n : {"Save", "Erase", "New", "Close", "Previous", "Next", "TrackBar1"}) EXPECT_TRUE(Enabled(n)) << n;
    EXPECT_TRUE(Visible("Edit2"));
}

TEST_F(CardPanelTest, UnchangedFieldsGiveBackTheirBytesAndEditedOnesTheirText) {
    TCardRecord r;
    const std::string odd("\x81\x00\x8d" "a", 4);  // bytes an edit cannot show exactly
    r.setText(CardField::FirstName, odd);
    r.setText(CardField::LastName, "Smith");
    card.Show(r);
    EXPECT_EQ(card.Texts()[0], odd);
    Get<QLineEdit>("Edit2")->setText(QString::fromUtf8("Sm\xc3\xa9th"));
    const CardTexts texts = card.Texts();
    EXPECT_EQ(texts[0], odd);
    EXPECT_EQ(texts[1], "Sm\xe9th") << "an edited field is stored in the card code page";
    card.Clear();
    EXPECT_EQ(card.Texts(), CardTexts{});
    EXPECT_FALSE(card.LastNameGiven());
}

TEST(ModePanel, VideoPhoneIsLockedForClonesAndInsideChatAndFtpSettings) {
    QWidget client;
    TModePanel switches(&client, nullptr);
    auto* videoPhone = client.findChild<QCheckBox*>("VideoPhone");
    auto* player = client.findChild<QCheckBox*>("CheckBox1");
    ASSERT_TRUE(videoPhone && player);
    switches.Layout(WindowMode::TextMail, {false, false});
    EXPECT_TRUE(videoPhone->isEnabled());
    switches.Layout(WindowMode::TextMail, {true, false});
    EXPECT_FALSE(videoPhone->isEnabled());
    switches.Layout(WindowMode::PhoneChat, {false, false});
    EXPECT_FALSE(videoPhone->isEnabled());
    switches.Layout(WindowMode::FtpSettings, {false, false});
    EXPECT_FALSE(videoPhone->isEnabled());
    switches.Layout(WindowMode::HtmlMail, {false, false});
    EXPECT_TRUE(videoPhone->isEnabled());
    switches.Layout(WindowMode::Player, {false, false});
    EXPECT_FALSE(player->isEnabled());
    EXPECT_FALSE(player->isVisibleTo(&client));
}

using VideoPhoneSwitch = WindowTest;

TEST_F(VideoPhoneSwitch, HtmlOnDropsAndReopensTheLineAndShowsTheMonitor) {
    Start();
    const int opens = doubles.line->OpenCalls;
    Check("VideoPhone")->setChecked(true);
    Process();
    EXPECT_EQ(doubles.line->OpenCalls, opens + 1);
    EXPECT_EQ(doubles.line->DroppedAtOpen, 1) << "Dropped is set before Open";
    EXPECT_TRUE(form->control<QWidget>("VideoCap1")->isVisibleTo(form.get()));
    EXPECT_FALSE(form->control<QWidget>("Image1")->isVisibleTo(form.get()));
    for (const char* name : {"Source1", "Format1", "Display1"})
        EXPECT_TRUE(form->control<QAction>(name)->isEnabled()) << name;
    for (const char* name : {"Compress1", "RecorderStatusAction"})
        EXPECT_FALSE(form->control<QAction>(name)->isEnabled()) << name;
    EXPECT_TRUE(form->control<QWidget>("Rec_Image1")->isVisibleTo(form.get()));

    // Off: the five items disabled, even those that were on before.
    form->control<QAction>("Compress1")->setEnabled(true);
    form->control<QAction>("RecorderStatusAction")->setEnabled(true);
    Check("VideoPhone")->setChecked(false);
    Process();
    for (const char* name : {"Source1", "Format1", "Display1", "Compress1", "RecorderStatusAction"})
        EXPECT_FALSE(form->control<QAction>(name)->isEnabled()) << name;
    EXPECT_FALSE(form->control<QWidget>("VideoCap1")->isVisibleTo(form.get()));
    EXPECT_TRUE(form->control<QWidget>("Image1")->isVisibleTo(form.get()));
    EXPECT_EQ(doubles.line->OpenCalls, opens + 1) << "switching HTML off leaves the line alone";
}

TEST_F(VideoPhoneSwitch, ShowCardGivesTheLineTheCardsPhoneNumber) {
    WriteFile(DbPath(), RecordBytes({"F", "Alpha", "", "", "", "", "", "555-0100"}) + CardsWithLastNames({"Beta"}));
    Start();
    EXPECT_EQ(doubles.line->PhoneNumber(), "555-0100");
    Click("Next");
    EXPECT_EQ(doubles.line->PhoneNumber(), "");
}

TEST(Form1, RefusesToStartWithoutAnOutsideComponent) {
    RecordingComponents doubles;
    TForm1Components missingLine = doubles.Make();
    missingLine.Modem1.reset();
    EXPECT_THROW(TForm1{std::move(missingLine)}, Exception);
    TForm1Components missingTransport = doubles.Make();
    missingTransport.Transport = nullptr;
    EXPECT_THROW(TForm1{std::move(missingTransport)}, Exception);
}

}  // namespace
}  // namespace vandrex::testing
