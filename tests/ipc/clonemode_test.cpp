// Clone mode between real running copies of the program, all in one working
// folder: the first copy, its clones, their captions and texts, closing
// clones and re-activation.

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/carddatabase.h"
#include "app/cardrecord.h"
#include "ipc/fxcommtx.h"
#include "platform/windowmessages.h"
#include "tests/ipc/ipctestsupport.h"

using namespace vandrex;
using vandrex::test::Peer;

namespace {

const QString kFirst = "Vandrex v4.4a";
const QString kClone = "Vandrex v4.4b";
const QString kOneClone = "      1 Clone detected on same path. Do not close application !";
const QString kTwoClones = "      2 Clones detected on same path. Do not close application !";
const QString kFirstCaption =
    " Vandrex v4.4a Beta  i-mode Mail / Data Phone             MD/DVDvideo   [Realtime Encoder]";

// One copy of the program, driven through its control line.
class Copy : public Peer {
public:
    explicit Copy(const QString& folder) : Peer(QStringLiteral(CLONE_COPY), {}, folder, "activated ") {}
    // Started without waiting for its activation.
    Copy(const QString& folder, bool) : Peer(QStringLiteral(CLONE_COPY), {}, folder, QString()) {}

    QJsonObject State() {
        Command("state");
        const QString line = WaitFor("state ");
        return QJsonDocument::fromJson(line.mid(6).toUtf8()).object();
    }
    bool Enabled(const char* name) { return State()["enabled"].toObject()[name].toBool(); }
    void Click(const QString& button) {
        Command("click " + button);
        WaitFor("clicked ");
    }
    void Close() {
        Command("close");
        EXPECT_EQ(WaitFor("closed"), "closed");
        EXPECT_TRUE(WaitForExit());
    }
};

class CloneMode : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        WriteCards({"Zed", "Adam", "Mike"});
    }
    void WriteCards(const std::vector<std::string>& lastNames) {
        QFile f(folder.filePath("Your DataBase.DAT"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (const std::string& name : lastNames) {
            TCardRecord r;
            r.setText(CardField::FirstName, "F");
            r.setText(CardField::LastName, name);
            f.write(reinterpret_cast<const char*>(r.bytes.data()), r.bytes.size());
        }
    }
    std::vector<std::string> LastNames() { return Field(CardField::LastName); }
    std::vector<std::string> FirstNames() { return Field(CardField::FirstName); }
    std::vector<std::string> Field(CardField field) {
        QFile f(folder.filePath("Your DataBase.DAT"));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        std::vector<std::string> names;
        for (qsizetype off = 0; off + kCardRecordSize <= bytes.size(); off += kCardRecordSize) {
            TCardRecord r;
            std::copy(bytes.begin() + off, bytes.begin() + off + kCardRecordSize, r.bytes.begin());
            names.push_back(r.text(field));
        }
        return names;
    }
    void ExpectNormalFirstCopy(Copy& first) {
        const QJsonObject s = first.State();
        EXPECT_EQ(s["title"].toString(), kFirst);
        EXPECT_EQ(s["cloneCount"].toInt(), 0);
        EXPECT_EQ(s["mixer"].toString(), "Player");
        EXPECT_FALSE(s["djAuto"].toBool());
        EXPECT_FALSE(s["djAutoEnabled"].toBool());
        EXPECT_TRUE(s["edit2Visible"].toBool());
        for (const char* name : {"Save", "Erase", "New", "Close", "Previous", "Next", "TrackBar1"})
            EXPECT_TRUE(s["enabled"].toObject()[name].toBool()) << name;
    }

    QTemporaryDir folder;
};

// Copies started at the same moment decide one after the other: exactly one
// of them becomes the first copy, the others its clones, whatever the timing.
TEST_F(CloneMode, CopiesStartedTogetherMakeExactlyOneFirstCopy) {
    for (int copies : {2, 3}) {
        for (int round = 0; round < 20; ++round) {
            SCOPED_TRACE(std::to_string(copies) + " copies, round " + std::to_string(round));
            std::vector<std::unique_ptr<Copy>> started;
            for (int i = 0; i < copies; ++i) started.push_back(std::make_unique<Copy>(folder.path(), true));
            for (auto& copy : started) ASSERT_FALSE(copy->WaitFor("activated ", 30000).isEmpty());
            int firstCopies = 0;
            for (auto& copy : started) firstCopies += copy->State()["title"].toString() == kFirst;
            EXPECT_EQ(firstCopies, 1);
        }
    }
}

TEST_F(CloneMode, OneCopyStaysTheFirstAndItsOwnResetChangesNothing) {
    Copy only(folder.path());
    const QJsonObject s = only.State();
    EXPECT_EQ(s["title"].toString(), kFirst);
    EXPECT_EQ(s["caption"].toString(), kFirstCaption);
    EXPECT_FALSE(s["senderActive"].toBool());
    ExpectNormalFirstCopy(only);
    only.Command("close");
    EXPECT_EQ(only.WaitFor("got "), "got 11 ResetPlayer") << "Close reaches this copy itself";
    EXPECT_TRUE(only.WaitForExit());
}

TEST_F(CloneMode, ClonesAreCountedAndTheFirstCopyReturnsToNormalAfterTheLast) {
    Copy first(folder.path());
    Copy second(folder.path());

    QJsonObject c = second.State();
    EXPECT_EQ(c["title"].toString(), kClone);
    EXPECT_EQ(c["caption"].toString(),
              "Clone: " + c["instance"].toString() + " -> Vandrex v4.4a / Database protection");
    EXPECT_EQ(c["web"].toString(),
              "        You are clone " + c["instance"].toString() + " -  You are violating privacy !");
    EXPECT_EQ(c["mixer"].toString(), "Clone");
    EXPECT_TRUE(c["djAuto"].toBool());
    EXPECT_FALSE(c["edit2Visible"].toBool());
    for (const char* name : {"Save", "Erase", "New", "Previous", "Next", "TrackBar1", "Connection", "SendBtn",
                             "VideoPhone"})
        EXPECT_FALSE(c["enabled"].toObject()[name].toBool()) << name;

    QJsonObject f = first.State();
    EXPECT_EQ(f["title"].toString(), kFirst);
    EXPECT_EQ(f["caption"].toString(), "Vandrex v4.4a -> Clones  / Database protection");
    EXPECT_EQ(f["cloneCount"].toInt(), 1);
    EXPECT_EQ(f["web"].toString(), kOneClone);
    EXPECT_EQ(f["mixer"].toString(), "Player");
    EXPECT_TRUE(f["djAuto"].toBool());
    for (const char* name : {"Save", "Erase", "New", "Close"})
        EXPECT_FALSE(f["enabled"].toObject()[name].toBool()) << name;
    first.Command("newclick");
    first.WaitFor("clicked ");
    first.Command("messages");
    EXPECT_EQ(first.WaitFor("messages "), "messages [\"Clones may not share the same path\"]");

    // A third copy: the real program this time.
    Peer third(QStringLiteral(VANDREX_EXE), {}, folder.path(), QString());
    for (int i = 0; i < 200 && first.State()["cloneCount"].toInt() < 2; ++i) first.Drain(50);
    f = first.State();
    EXPECT_EQ(f["cloneCount"].toInt(), 2);
    EXPECT_EQ(f["web"].toString(), kTwoClones);

    // It ends through the clean shutdown, which sends "ResetPlayer".
    third.Process().terminate();
    EXPECT_TRUE(third.WaitForExit());
    for (int i = 0; i < 100 && first.State()["cloneCount"].toInt() > 1; ++i) first.Drain(50);
    f = first.State();
    EXPECT_EQ(f["cloneCount"].toInt(), 1);
    EXPECT_EQ(f["web"].toString(), kOneClone);
    EXPECT_FALSE(f["enabled"].toObject()["Close"].toBool());

    second.Close();
    f = first.State();
    ExpectNormalFirstCopy(first);
    EXPECT_EQ(f["caption"].toString(), "Vandrex v4.4a Beta i-mode mail / Data Phone");
    EXPECT_EQ(f["web"].toString(), "http://");
    EXPECT_EQ(f["senderTarget"].toString(), kFirst);
    first.Close();
}

TEST_F(CloneMode, ReactivationNeitherCountsAgainNorLosesTheClones) {
    Copy first(folder.path());
    Copy clone(folder.path());
    ASSERT_EQ(first.State()["cloneCount"].toInt(), 1);

    clone.Command("options");
    EXPECT_EQ(clone.WaitFor("activated "), "activated 2");
    EXPECT_EQ(first.State()["cloneCount"].toInt(), 1) << "counted once";
    EXPECT_EQ(clone.State()["title"].toString(), kClone);

    first.Command("options");
    EXPECT_EQ(first.WaitFor("activated "), "activated 2");
    QJsonObject f = first.State();
    EXPECT_EQ(f["title"].toString(), kFirst);
    EXPECT_EQ(f["senderTarget"].toString(), kClone);
    first.Command("send DJAutoOff");
    EXPECT_EQ(clone.WaitFor("got "), "got 9 DJAutoOff") << "the first copy still reaches its clone";
    EXPECT_TRUE(clone.State()["djManual"].toBool());

    clone.Close();
    ExpectNormalFirstCopy(first);
    first.Close();
}

TEST_F(CloneMode, TheLastResetKeepsTheCardShownAndNoCardIsOverwritten) {
    Copy first(folder.path());
    first.Click("Next");
    ASSERT_EQ(first.State()["edit2"].toString(), "Adam");
    ASSERT_EQ(first.State()["cardIndex"].toInt(), 1);

    Copy clone(folder.path());
    clone.Close();  // a clone stores nothing
    EXPECT_EQ(LastNames(), (std::vector<std::string>{"Zed", "Adam", "Mike"}));
    QJsonObject f = first.State();
    EXPECT_EQ(f["cardIndex"].toInt(), 1) << "the first copy keeps the card it shows";
    EXPECT_EQ(f["edit2"].toString(), "Adam");
    EXPECT_TRUE(first.Enabled("Save"));

    // Another program sorts the shared file meanwhile: Adam moves to 0.
    {
        TCardDatabase other;
        other.Open(folder.filePath("Your DataBase.DAT").toStdString());
        other.SortCards();
        other.Close();
    }
    ASSERT_EQ(LastNames(), (std::vector<std::string>{"Adam", "Mike", "Zed"}));
    first.Command("set Edit1 Changed");
    first.WaitFor("set ");
    first.Click("Save");
    EXPECT_EQ(LastNames(), (std::vector<std::string>{"Adam", "Mike", "Zed"}));
    EXPECT_EQ(FirstNames(), (std::vector<std::string>{"Changed", "F", "F"})) << "Store followed the card";
    EXPECT_EQ(first.State()["cardIndex"].toInt(), 0);
    first.Close();
    EXPECT_EQ(LastNames(), (std::vector<std::string>{"Adam", "Mike", "Zed"}));
}

TEST_F(CloneMode, MessagesAreComparedExactlyAndDriveThePlayer) {
    Copy first(folder.path());
    TfxCommTX tx;
    tx.SetRxWindowName(kFirst);

    // Cut to 255 characters, "AddOneClone..." is no longer "AddOneClone".
    tx.Send("AddOneClone" + QString(289, 'x'));
    EXPECT_EQ(first.WaitFor("got "), "got 255 AddOneClone" + QString(244, 'x'));
    tx.Send("addoneclone");
    tx.Send("AddOneClone ");
    EXPECT_EQ(first.State()["cloneCount"].toInt(), 0);

    tx.Send("PauseTrack");
    EXPECT_EQ(first.WaitFor("triggered "), "triggered PauseMix");
    tx.Send("StartTrack");
    EXPECT_EQ(first.WaitFor("triggered "), "triggered StartMix");
    tx.Send("GoToNextTrack");
    tx.Send("PlayTrack");
    tx.Send("GoToPreviousTrack");
    tx.Send("PlayNextReadyTrack");
    first.Command("player");
    // A lone copy's "SetNextTrackReady" goes to itself, before the rest.
    EXPECT_EQ(first.WaitFor("player "),
              "player [\"PlayerSetHold(true)\",\"PlayerSetHold(false)\",\"PlayerNextItem\",\"PlayerPlay\","
              "\"PlayerSetHold(true)\",\"PlayerSetHold(false)\",\"PlayerPrevItem\",\"PlayerSetHold(false)\"]");

    tx.Send("DJAutoOff");
    QJsonObject s = first.State();
    EXPECT_TRUE(s["djManual"].toBool());
    EXPECT_FALSE(s["djAuto"].toBool());
    tx.Send("DJAutoOn");
    s = first.State();
    EXPECT_FALSE(s["djManual"].toBool());
    EXPECT_TRUE(s["djAuto"].toBool());
}

}  // namespace
