// Clone mode between several windows in this process, joined by the
// in-process loopback transport: the whole message table, the counts and
// captions, and ResetPlayer. The real-process tests (tests/ipc) keep the
// local sockets themselves covered.

#include "window_fixture.h"

#include <QMenu>
#include <QTest>

#include "app/cardrecord.h"
#include "app/clonemode.h"
#include "app/windowmodes.h"
#include "controls/led.h"
#include "tests/doubles/loopbacktransport.h"

namespace vandrex::testing {
namespace {

const QString kOneClone = "      1 Clone detected on same path. Do not close application !";
const QString kTwoClones = "      2 Clones detected on same path. Do not close application !";

// One running copy: its place on the desktop, its components, its window.
struct Copy {
    std::unique_ptr<LoopbackDesktop::Endpoint> endpoint;
    RecordingComponents doubles;
    std::unique_ptr<TForm1> form;
    QStringList received;

    template <class W>
    W* Get(const char* name) { return form->control<W>(name); }
    bool Enabled(const char* name) { return Get<QWidget>(name)->isEnabled(); }
    QString Web() { return Get<QLineEdit>("WebSiteAddressEdit")->text(); }
    QString Mixer() { return Get<QAction>("MixerAction")->text(); }
};

class CloneModeLoopback : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        WriteFile(DbPath(), CardsWithLastNames({"Zed", "Adam", "Mike"}));
    }
    void TearDown() override {
        copies.clear();
        WindowTest::TearDown();
    }
    Copy& StartCopy() {
        auto copy = std::make_unique<Copy>();
        copy->endpoint = desktop.NewCopy();
        copy->doubles.transport = copy->endpoint.get();
        copy->form = std::make_unique<TForm1>(copy->doubles.Make());
        Copy* c = copy.get();
        TCloneMode& clones = c->form->Clones();
        clones.Receiver().OnCommReceived = [c, &clones](TfxCommRX* rx, const QString& text) {
            if (!text.isEmpty()) c->received << text;  // empty: the first copy checking on its clones
            clones.VandrexCommRXCommReceived(rx, text);
        };
        c->form->show();
        c->form->RunPendingActivation();
        Process();
        copies.push_back(std::move(copy));
        return *c;
    }
    // Close, then the copy is gone from the desktop.
    void CloseCopy(Copy& c) {
        c.form->CloseClick();
        ASSERT_TRUE(c.form->Terminated());
        for (auto it = copies.begin(); it != copies.end(); ++it)
            if (it->get() == &c) {
                copies.erase(it);
                break;
            }
    }
    void ExpectNormalFirstCopy(Copy& first) {
        EXPECT_EQ(first.form->Title(), kFirstCopyTitle);
        EXPECT_EQ(first.form->Clones().CloneCount(), 0);
        EXPECT_EQ(first.Mixer(), "Player");
        EXPECT_FALSE(first.Get<QAction>("DJAutoMatic")->isChecked());
        EXPECT_FALSE(first.Get<QAction>("DJAutoMatic")->isEnabled());
        EXPECT_TRUE(first.Get<QLineEdit>("Edit2")->isVisible());
        for (const char* name : {"Save", "Erase", "New", "Close", "Previous", "Next", "TrackBar1", "Connection",
                                 "SendBtn", "VideoPhone"})
            EXPECT_TRUE(first.Enabled(name)) << name;
    }

    LoopbackDesktop desktop;
    std::vector<std::unique_ptr<Copy>> copies;
};

TEST_F(CloneModeLoopback, ALoneCopyStaysTheFirstAndItsOwnResetChangesNothing) {
    Copy& only = StartCopy();
    EXPECT_EQ(only.form->Title(), kFirstCopyTitle);
    EXPECT_FALSE(only.form->Clones().IsClone());
    EXPECT_EQ(only.form->windowTitle(), kForm1Caption);
    EXPECT_FALSE(only.form->Clones().SenderActive());
    ExpectNormalFirstCopy(only);
    EXPECT_TRUE(only.received.isEmpty()) << "its DJReady found nobody";

    only.form->CloseClick();
    EXPECT_EQ(only.received, QStringList{"ResetPlayer"}) << "Close reaches this copy itself";
    EXPECT_EQ(only.form->Clones().CloneCount(), 0);
    EXPECT_EQ(only.form->windowTitle(), kForm1Caption);
}

TEST_F(CloneModeLoopback, ClonesAreCountedAndTheFirstCopyReturnsToNormalAfterTheLast) {
    Copy& first = StartCopy();
    Copy& second = StartCopy();
    EXPECT_EQ(first.received, (QStringList{"DJReady", "AddOneClone"}));
    EXPECT_EQ(second.received, QStringList{"CloneMode"});

    const QString instance = second.form->Clones().InstanceNumber();
    EXPECT_EQ(second.form->Title(), kCloneTitle);
    EXPECT_TRUE(second.form->Clones().IsClone());
    EXPECT_EQ(second.form->windowTitle(), "Clone: " + instance + " -> Vandrex v4.4a / Database protection");
    EXPECT_EQ(second.Web(), "        You are clone " + instance + " -  You are violating privacy !");
    EXPECT_EQ(second.Mixer(), "Clone");
    EXPECT_TRUE(second.Get<QAction>("DJAutoMatic")->isChecked());
    EXPECT_FALSE(second.Get<QLineEdit>("Edit2")->isVisible());
    for (const char* name : {"Save", "Erase", "New", "Previous", "Next", "TrackBar1", "Connection", "SendBtn",
                             "VideoPhone"})
        EXPECT_FALSE(second.Enabled(name)) << name;

    EXPECT_EQ(first.form->Title(), kFirstCopyTitle);
    EXPECT_EQ(first.form->windowTitle(), "Vandrex v4.4a -> Clones  / Database protection");
    EXPECT_EQ(first.form->Clones().CloneCount(), 1);
    EXPECT_EQ(first.Web(), kOneClone);
    EXPECT_EQ(first.Mixer(), "Player");
    EXPECT_TRUE(first.Get<QAction>("DJAutoMatic")->isChecked());
    for (const char* name : {"Save", "Erase", "New", "Close"}) EXPECT_FALSE(first.Enabled(name)) << name;
    first.form->Cards().NewClick();  // as the keyboard would, past the disabled button
    first.form->Cards().EraseClick();
    EXPECT_EQ(dialogs.messages(), QStringList(2, "Clones may not share the same path"));

    Copy& third = StartCopy();
    EXPECT_EQ(third.form->Title(), kCloneTitle);
    EXPECT_EQ(first.form->Clones().CloneCount(), 2);
    EXPECT_EQ(first.Web(), kTwoClones);
    EXPECT_EQ(third.received, QStringList{"CloneMode"}) << "the newest clone got the answer";

    CloseCopy(third);
    EXPECT_EQ(first.form->Clones().CloneCount(), 1);
    EXPECT_EQ(first.Web(), kOneClone);
    EXPECT_FALSE(first.Enabled("Close"));

    CloseCopy(second);
    ExpectNormalFirstCopy(first);
    EXPECT_EQ(first.form->windowTitle(), TCloneMode::kNormalCaption);
    EXPECT_EQ(first.Web(), "http://");
    EXPECT_EQ(first.form->Clones().Sender().RxWindowName(), kFirstCopyTitle);
    // The clones stored and sorted nothing.
    EXPECT_EQ(LastNamesIn(DbPath()), (std::vector<std::string>{"Zed", "Adam", "Mike"}));
}

TEST_F(CloneModeLoopback, EraseIsRefusedWhileCopiesShareTheFile) {
    const std::string file = Db();
    Copy& first = StartCopy();
    Copy& clone = StartCopy();
    // As the keyboard would reach them, past the disabled buttons.
    first.form->Cards().EraseClick();
    clone.form->Cards().EraseClick();
    EXPECT_EQ(dialogs.messages(), QStringList(2, "Clones may not share the same path"));
    EXPECT_EQ(Db(), file) << "nothing erased";
    EXPECT_EQ(first.Get<QLineEdit>("Edit2")->text(), "Zed") << "the card shown stays";
}

TEST_F(CloneModeLoopback, ACloneAlwaysClosesAndStoresNothing) {
    // A new database's empty card sorts first: the clone shows a card
    // without a last name, which its own Close must not ask for.
    const std::string file = CardsWithLastNames({"", "Zed"});
    WriteFile(DbPath(), file);
    Copy& first = StartCopy();
    Copy& clone = StartCopy();
    ASSERT_EQ(clone.Get<QLineEdit>("Edit2")->text(), "");
    ASSERT_FALSE(first.Enabled("Close"));

    CloseCopy(clone);
    EXPECT_TRUE(dialogs.messages().isEmpty()) << dialogs.messages().join("|").toStdString();
    EXPECT_EQ(first.received.last(), "ResetPlayer");
    ExpectNormalFirstCopy(first);
    EXPECT_EQ(Db(), file) << "the clone stored and sorted nothing";
}

TEST_F(CloneModeLoopback, ACloneAskedToEndStoresNothingEither) {
    const std::string file = Db();
    Copy& first = StartCopy();
    Copy& clone = StartCopy();
    ASSERT_EQ(clone.Get<QLineEdit>("Edit2")->text(), "Zed");
    clone.form->TerminateCleanly();  // as on SIGTERM
    EXPECT_TRUE(clone.form->Terminated());
    EXPECT_EQ(Db(), file) << "neither stored nor sorted";
    ExpectNormalFirstCopy(first);
}

TEST_F(CloneModeLoopback, TheLastResetKeepsTheEditsAndTheCardShown) {
    Copy& first = StartCopy();
    Copy& clone = StartCopy();
    first.Get<QPushButton>("Next")->click();
    ASSERT_EQ(first.Get<QLineEdit>("Edit2")->text(), "Adam");
    first.Get<QLineEdit>("Edit7")->setText("555 typed");

    CloseCopy(clone);
    ASSERT_EQ(first.form->Clones().CloneCount(), 0);
    EXPECT_EQ(first.Get<QLabel>("Panel1")->text(), "1");
    EXPECT_EQ(first.Get<QLineEdit>("Edit2")->text(), "Adam");
    EXPECT_EQ(first.Get<QLineEdit>("Edit7")->text(), "555 typed");
    // And Store now writes them to the card they belong to.
    first.Get<QPushButton>("Save")->click();
    TCardRecord r;
    const std::string db = Db();
    std::copy(db.begin() + 238, db.begin() + 476, r.bytes.begin());
    EXPECT_EQ(r.text(CardField::LastName), "Adam");
    EXPECT_EQ(r.text(CardField::Phone), "555 typed");
}

TEST_F(CloneModeLoopback, ResetPlayerLeavesHtmlModeThroughItsClickHandler) {
    Copy& first = StartCopy();
    first.Get<QCheckBox>("VideoPhone")->setChecked(true);
    Process();
    ASSERT_EQ(first.form->Modes().Mode(), WindowMode::HtmlMail);
    Copy& clone = StartCopy();
    ASSERT_EQ(first.form->Clones().CloneCount(), 1);
    const int opens = first.doubles.line->OpenCalls;
    CloseCopy(clone);
    EXPECT_FALSE(first.Get<QCheckBox>("VideoPhone")->isChecked());
    EXPECT_EQ(first.form->Modes().Mode(), WindowMode::TextMail);
    EXPECT_FALSE(first.Get<QWidget>("VideoCap1")->isVisibleTo(first.form.get()));
    EXPECT_TRUE(first.Get<QWidget>("Image1")->isVisibleTo(first.form.get()));
    EXPECT_EQ(first.doubles.line->OpenCalls, opens) << "switching HTML off leaves the line alone";
}

TEST_F(CloneModeLoopback, ReactivationNeitherCountsAgainNorLosesTheClones) {
    Copy& first = StartCopy();
    Copy& clone = StartCopy();
    ASSERT_EQ(first.form->Clones().CloneCount(), 1);

    clone.form->FormActivate();
    EXPECT_EQ(first.form->Clones().CloneCount(), 1) << "counted once";
    EXPECT_EQ(clone.form->Title(), kCloneTitle);

    first.form->FormActivate();
    EXPECT_EQ(first.form->Title(), kFirstCopyTitle);
    EXPECT_EQ(first.form->Clones().Sender().RxWindowName(), kCloneTitle);
    first.form->Clones().Send("DJAutoOff");
    EXPECT_EQ(clone.received.last(), "DJAutoOff") << "the first copy still reaches its clone";
    EXPECT_TRUE(clone.Get<QAction>("DJManual")->isChecked());

    CloseCopy(clone);
    ExpectNormalFirstCopy(first);
}

TEST_F(CloneModeLoopback, MessagesAreComparedExactlyAndDriveThePlayer) {
    Copy& first = StartCopy();
    auto outsider = desktop.NewCopy(QStringLiteral("Someone else"));
    TfxCommTX tx(*outsider);
    tx.SetRxWindowName(kFirstCopyTitle);

    // Cut to 255 characters, "AddOneClone..." is no longer "AddOneClone".
    tx.Send("AddOneClone" + QString(289, 'x'));
    EXPECT_EQ(first.received.last(), "AddOneClone" + QString(244, 'x'));
    tx.Send("addoneclone");
    tx.Send("AddOneClone ");
    EXPECT_EQ(first.form->Clones().CloneCount(), 0);

    QStringList triggered;
    for (const char* name : {"PauseMix", "StopMix", "StartMix"})
        QObject::connect(first.Get<QAction>(name), &QAction::triggered, first.form.get(),
                         [&triggered, name] { triggered << name; });
    tx.Send("PauseTrack");
    tx.Send("StopTrack");
    tx.Send("StartTrack");
    EXPECT_EQ(triggered, (QStringList{"PauseMix", "StopMix", "StartMix"}));

    tx.Send("GoToNextTrack");
    tx.Send("PlayTrack");
    tx.Send("GoToPreviousTrack");
    tx.Send("PlayNextReadyTrack");
    // A lone copy's "SetNextTrackReady" goes to itself, before the rest.
    EXPECT_EQ(first.doubles.player->Calls,
              (std::vector<QString>{"PlayerSetHold(true)", "PlayerSetHold(false)", "PlayerNextItem", "PlayerPlay",
                                    "PlayerSetHold(true)", "PlayerSetHold(false)", "PlayerPrevItem",
                                    "PlayerSetHold(false)"}));

    tx.Send("DJAutoOff");
    EXPECT_TRUE(first.Get<QAction>("DJManual")->isChecked());
    EXPECT_FALSE(first.Get<QAction>("DJAutoMatic")->isChecked());
    EXPECT_TRUE(first.Get<TLED>("LED_DJButton")->Lit());
    tx.Send("DJAutoOn");
    EXPECT_FALSE(first.Get<QAction>("DJManual")->isChecked());
    EXPECT_TRUE(first.Get<QAction>("DJAutoMatic")->isChecked());
    EXPECT_FALSE(first.Get<TLED>("LED_DJButton")->Lit());

    // Counts come and go by message alone; a first copy shows them.
    tx.Send("AddOneClone");
    tx.Send("AddOneClone");
    EXPECT_EQ(first.Web(), kTwoClones);
    tx.Send("ResetPlayer");
    EXPECT_EQ(first.Web(), kOneClone);
    tx.Send("ResetPlayer");
    ExpectNormalFirstCopy(first);
    tx.Send("ResetPlayer");  // nothing left to undo
    EXPECT_EQ(first.form->Clones().CloneCount(), 0);
}

TEST_F(CloneModeLoopback, ASendToACopyThatEndedFailsQuietly) {
    Copy& first = StartCopy();
    Copy& clone = StartCopy();
    ASSERT_TRUE(clone.form->Clones().SenderActive());
    // The first copy goes away without a word; the clone's handle is stale.
    copies.erase(copies.begin());
    (void)first;
    clone.form->Clones().Send("DJAutoOff");
    EXPECT_TRUE(clone.form->Clones().SenderActive()) << "the handle is kept, as a window handle is";
    EXPECT_EQ(clone.form->Title(), kCloneTitle);
}

}  // namespace
}  // namespace vandrex::testing

namespace vandrex::testing {
namespace {

// A clone that ends without Close (killed, crashed) sends no "ResetPlayer";
// the first copy finds out by itself.
class LostClones : public CloneModeLoopback {
protected:
    Copy& StartFirst() {
        Copy& first = StartCopy();
        first.form->Clones().SetCloneCheckInterval(20);
        return first;
    }
    // The copy vanishes from the desktop without a word.
    void Kill(Copy& c) {
        for (auto it = copies.begin(); it != copies.end(); ++it)
            if (it->get() == &c) {
                copies.erase(it);
                return;
            }
    }
    static bool WaitForCount(Copy& first, int count) {
        return QTest::qWaitFor([&] { return first.form->Clones().CloneCount() == count; }, 5000);
    }
};

TEST_F(LostClones, TheLastLostCloneReturnsTheFirstCopyToNormal) {
    Copy& first = StartFirst();
    Copy& clone = StartCopy();
    ASSERT_EQ(first.form->Clones().CloneCount(), 1);
    EXPECT_TRUE(first.form->Clones().CheckingClones());
    Kill(clone);
    ASSERT_TRUE(WaitForCount(first, 0));
    ExpectNormalFirstCopy(first);
    EXPECT_EQ(first.form->windowTitle(), TCloneMode::kNormalCaption);
    EXPECT_FALSE(first.form->Clones().CheckingClones());
}

TEST_F(LostClones, ALostCloneIsCountedOutOnceAndAClosedOneNotTwice) {
    Copy& first = StartFirst();
    Copy& second = StartCopy();
    Copy& third = StartCopy();
    ASSERT_EQ(first.form->Clones().CloneCount(), 2);

    // Closed normally: counted out by its message, never again by a check.
    CloseCopy(third);
    ASSERT_EQ(first.form->Clones().CloneCount(), 1);
    QTest::qWait(200);
    EXPECT_EQ(first.form->Clones().CloneCount(), 1);
    EXPECT_FALSE(first.Enabled("Close"));
    EXPECT_EQ(first.Web(), kOneClone);

    Copy& fourth = StartCopy();
    ASSERT_EQ(first.form->Clones().CloneCount(), 2);
    Kill(second);
    ASSERT_TRUE(WaitForCount(first, 1));
    EXPECT_EQ(first.Web(), kOneClone);
    EXPECT_FALSE(first.Enabled("Close")) << "one clone still runs";
    QTest::qWait(200);
    EXPECT_EQ(first.form->Clones().CloneCount(), 1);

    CloseCopy(fourth);
    ExpectNormalFirstCopy(first);
}

}  // namespace
}  // namespace vandrex::testing
