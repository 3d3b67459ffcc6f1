// The card commands through the real window: messages, navigation, storing,
// erasing, and the bytes they leave in the file.

#include "window_fixture.h"

#include <QDir>
#include <QTest>
#include <QTimer>

#include "app/cardrecord.h"
#include "app/panels/mailpanel.h"
#include "app/panels/panels.h"

namespace vandrex::testing {
namespace {

using Cards = WindowTest;

TEST_F(Cards, FirstStartCreatesOneEmptyCardAndShowsIt) {
    Start();
    EXPECT_EQ(form->Title(), kFirstCopyTitle);
    EXPECT_EQ(Db(), RecordBytes({}));
    EXPECT_EQ(Panel1(), "0");
    EXPECT_EQ(Edit("Edit2")->text(), "");
    EXPECT_EQ(form->control<QSlider>("TrackBar1")->maximum(), 0);
    EXPECT_EQ(Panel0(), "Text mail mode");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(Cards, EveryCommandNeedsALastName) {
    Start();
    for (const char* command : {"New", "Previous", "Next", "Save", "Close"}) Click(command);
    EXPECT_EQ(dialogs.messages(), QStringList(5, "ENTER A LASTNAME FIRST !"));
    EXPECT_EQ(Db(), RecordBytes({}));
    EXPECT_FALSE(form->Terminated());
}

TEST_F(Cards, StoreWritesTheEditsInFileOrderAndCutsToCapacity) {
    Start();
    Edit("Edit1")->setText(QString(25, 'x'));
    Edit("Edit2")->setText("abc");
    Edit("Edit11")->setText("R12");
    Edit("Edit10")->setText("a@b.c");
    Click("Save");
    const std::string db = Db();
    ASSERT_EQ(db.size(), 238u);
    EXPECT_EQ(static_cast<unsigned char>(db[0]), 20);  // first name cut to 20
    EXPECT_EQ(db.substr(21, 4), std::string("\x03" "ace", 4));
    EXPECT_EQ(static_cast<unsigned char>(db[103]), 3);  // Room is the fourth field
    EXPECT_EQ(static_cast<unsigned char>(db[197]), 5);  // EMail is the last
    EXPECT_EQ(form->Panels().Mail.RecipientAddress(), "");  // nothing redisplayed by Store
}

TEST_F(Cards, NavigationReadsCardsAndStopsAtBothEnds) {
    WriteFile(DbPath(), CardsWithLastNames({"Alpha", "Beta", "Gamma"}));
    Start();
    EXPECT_EQ(Edit("Edit2")->text(), "Alpha");
    Click("Previous");  // card 0: nothing visible
    EXPECT_EQ(Panel1(), "0");
    EXPECT_TRUE(dialogs.shown.empty());
    Click("Next");
    Click("WebPhoneButton3");
    EXPECT_EQ(Edit("Edit2")->text(), "Gamma");
    EXPECT_EQ(Panel1(), "2");
    EXPECT_EQ(form->control<QLineEdit>("WebPhoneIP_Edit2")->text(), "Gamma");
    Click("Next");
    EXPECT_EQ(dialogs.messages(), QStringList{"CREATE A NEW CARD !"});
    EXPECT_EQ(form->Cards().Database().CardIndex, 2);
    Click("WebPhoneButton2");
    EXPECT_EQ(Edit("Edit2")->text(), "Beta");
    form->control<QSlider>("TrackBar1")->setValue(0);
    Process();
    EXPECT_EQ(Edit("Edit2")->text(), "Alpha");
}

TEST_F(Cards, UnstoredEditsAreDroppedWhenMovingAway) {
    const std::string file = CardsWithLastNames({"Alpha", "Beta"});
    WriteFile(DbPath(), file);
    Start();
    Edit("Edit7")->setText("555-0100");
    Click("Next");
    Click("Previous");
    EXPECT_EQ(Edit("Edit7")->text(), "");
    EXPECT_EQ(Db(), file);
}

TEST_F(Cards, NewAppendsAnEmptyCardAndShowsIt) {
    WriteFile(DbPath(), CardsWithLastNames({"Alpha"}));
    Start();
    Click("New");
    EXPECT_EQ(Panel1(), "1");
    EXPECT_EQ(Edit("Edit2")->text(), "");
    EXPECT_EQ(Db().size(), 2u * 238);
    EXPECT_EQ(form->Cards().Database().CardCount, 2);
    Edit("Edit2")->setText("Zeta");
    Click("Save");
    EXPECT_EQ(LastNamesIn(DbPath()), (std::vector<std::string>{"Alpha", "Zeta"}));
}

TEST_F(Cards, EraseMovesTheLastCardIntoTheGapSortsAndShowsCardZero) {
    WriteFile(DbPath(), CardsWithLastNames({"e", "d", "c", "b", "a"}));
    Start();
    Click("Next");
    Click("Next");  // card 2, "c"
    Click("Erase");
    EXPECT_EQ(LastNamesIn(DbPath()), (std::vector<std::string>{"a", "b", "d", "e"}));
    EXPECT_EQ(Panel1(), "0");
    EXPECT_EQ(Edit("Edit2")->text(), "a");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(Cards, EraseRightAfterStartRemovesOnlyTheCardShown) {
    // After activation the file position stands after card 0; the blank
    // must still land on card 0, not on card 1.
    WriteFile(DbPath(), CardsWithLastNames({"a", "b", "c"}));
    Start();
    Click("Erase");
    EXPECT_EQ(LastNamesIn(DbPath()), (std::vector<std::string>{"b", "c"}));
}

TEST_F(Cards, ErasingTheOnlyCardLeavesOneEmptyCard) {
    WriteFile(DbPath(), CardsWithLastNames({"Solo"}));
    Start();
    Click("Erase");
    EXPECT_EQ(LastNamesIn(DbPath()), (std::vector<std::string>{""}));
}

TEST_F(Cards, EveryByteOfAFieldSurvivesShowAndStore) {
    // Control bytes, the undefined bytes of the code page and high bytes.
    std::string odd;
    for (int b : {0x00, 0x01, 0x09, 0x0A, 0x0D, 0x1F, 0x7F, 0x81, 0x8D, 0x8F, 0x90, 0x9D, 0xA0, 0xFF,
                  0x80, 0x9F, 0xE9, 0x20})
        odd.push_back(static_cast<char>(b));
    const std::string file = RecordBytes({odd, "Name", odd.substr(0, 12)});
    WriteFile(DbPath(), file);
    Start();
    Click("Save");
    EXPECT_EQ(Db(), file);
}

TEST_F(Cards, CloseStoresSortsAndEnds) {
    WriteFile(DbPath(), CardsWithLastNames({"b", "c", "a"}));
    Start();
    Edit("Edit7")->setText("123");
    Click("Close");
    EXPECT_TRUE(form->Terminated());
    EXPECT_EQ(LastNamesIn(DbPath()), (std::vector<std::string>{"a", "b", "c"}));
    // The stored phone travelled with card "b".
    TCardRecord r;
    const std::string db = Db();
    std::copy(db.begin() + 238, db.begin() + 476, r.bytes.begin());
    EXPECT_EQ(r.text(CardField::Phone), "123");
}

TEST_F(Cards, ZeroByteFileShowsNothingAndCloseEndsTheProgram) {
    WriteFile(DbPath(), "");
    Start();
    EXPECT_EQ(Db(), "");
    EXPECT_EQ(Edit("Edit2")->text(), "");
    // Nothing to store: Close ends the program, with the usual closing steps.
    Click("Close");
    EXPECT_TRUE(form->Terminated());
    EXPECT_EQ(doubles.line->CloseCalls, 1);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(Db(), "") << "no card was made up to store";
}

TEST_F(Cards, SliderKeepsMinimumZeroAfterAnEmptyFile) {
    WriteFile(DbPath(), "");
    Start();
    auto* slider = form->control<QSlider>("TrackBar1");
    EXPECT_EQ(slider->minimum(), 0);
    Edit("Edit2")->setText("First");
    Click("New");
    // The user drags the slider fully left.
    QTest::keyClick(slider, Qt::Key_Home);
    Process();
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->value(), 0);
    EXPECT_TRUE(dialogs.errors().isEmpty()) << dialogs.errors().join("|").toStdString();
    Edit("Edit2")->setText("Stored");
    Click("Save");
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(LastNamesIn(DbPath()), (std::vector<std::string>{"Stored"}));
}

TEST_F(Cards, UnopenableFileIsReportedAndCloseStillEnds) {
    // A folder where the card file should be: open fails whoever runs the test.
    ASSERT_TRUE(QDir(dir.path()).mkdir("Your DataBase.DAT"));
    Create();
    form->show();
    // Activation from the message loop, as the program runs it.
    QTimer::singleShot(0, form.get(), &TForm1::RunPendingActivation);
    Process();
    ASSERT_EQ(dialogs.errors().size(), 1);
    EXPECT_TRUE(dialogs.errors()[0].contains("Your DataBase.DAT")) << dialogs.errors()[0].toStdString();
    EXPECT_TRUE(dialogs.errors()[0].contains("Is a directory")) << dialogs.errors()[0].toStdString();
    Click("Close");
    EXPECT_TRUE(form->Terminated());
}

TEST_F(Cards, CloseWithCardsStillNeedsALastName) {
    WriteFile(DbPath(), CardsWithLastNames({"b", "a"}));
    Start();
    Edit("Edit2")->clear();
    Click("Close");
    EXPECT_FALSE(form->Terminated());
    EXPECT_EQ(dialogs.messages(), QStringList{"ENTER A LASTNAME FIRST !"});
    EXPECT_EQ(LastNamesIn(DbPath()), (std::vector<std::string>{"b", "a"})) << "nothing stored, nothing sorted";
}

TEST_F(Cards, CloseClosesTheLineAndQuitsAConnectedMailSession) {
    WriteFile(DbPath(), CardsWithLastNames({"a"}));
    Start();
    doubles.smtp->state = TSmtpInterface::Connected;
    Click("Close");
    ASSERT_TRUE(form->Terminated());
    EXPECT_EQ(doubles.line->CloseCalls, 1);
    EXPECT_EQ(doubles.smtp->QuitCalls, 1);
}

TEST_F(Cards, CloseLeavesAMailSessionThatIsNotConnected) {
    WriteFile(DbPath(), CardsWithLastNames({"a"}));
    Start();
    doubles.smtp->state = TSmtpInterface::Resolved;
    Click("Close");
    ASSERT_TRUE(form->Terminated());
    EXPECT_EQ(doubles.smtp->QuitCalls, 0);
}

}  // namespace
}  // namespace vandrex::testing
