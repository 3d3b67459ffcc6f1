// The sender and receiver components between real processes.

#include <QCoreApplication>
#include <gtest/gtest.h>

#include "ipc/fxcommrx.h"
#include "ipc/fxcommtx.h"
#include "platform/windowmessages.h"
#include "tests/ipc/ipctestsupport.h"

using namespace vandrex;
using vandrex::test::Peer;

TEST(CommBlock, CutsToTwoHundredFiftyFiveBytesAndTerminates) {
    TCommBlock empty = TfxCommTX::MakeBlock("");
    EXPECT_EQ(empty.cbData, 1u);
    EXPECT_EQ(empty.buffer[0], '\0');

    TCommBlock word = TfxCommTX::MakeBlock("DJReady");
    EXPECT_EQ(word.cbData, 8u);
    EXPECT_STREQ(word.buffer.data(), "DJReady");

    const QString text255(255, 'x');
    EXPECT_EQ(TfxCommTX::MakeBlock(text255).cbData, 256u);
    TCommBlock longer = TfxCommTX::MakeBlock(QString(300, 'y'));
    EXPECT_EQ(longer.cbData, 256u);
    EXPECT_EQ(longer.buffer[254], 'y');
    EXPECT_EQ(longer.buffer[255], '\0');

    // One byte per character in the code page; what it lacks becomes '?'.
    TCommBlock ansi = TfxCommTX::MakeBlock(QString::fromUtf8("\xE2\x82\xAC\xC3\xA9\xE4\xB8\xAD"));
    EXPECT_EQ(ansi.cbData, 4u);
    EXPECT_EQ(QByteArray(ansi.buffer.data()), QByteArray("\x80\xE9?"));
}

TEST(CommBlock, ReceiverReadsUpToTheZeroWithinTheBlockOnly) {
    const char withZero[] = "Pause\0Track";
    TCopyDataStruct data{0, sizeof withZero, withZero};
    EXPECT_EQ(TfxCommRX::ReadText(data), QString("Pause"));
    data.cbData = 5;  // the zero lies outside the block
    EXPECT_FALSE(TfxCommRX::ReadText(data).has_value());
    data.cbData = 0;
    EXPECT_FALSE(TfxCommRX::ReadText(data).has_value());
    const char empty[] = "";
    EXPECT_EQ(TfxCommRX::ReadText({0, 1, empty}), QString(""));
    const char ansi[] = "caf\xE9";
    EXPECT_EQ(TfxCommRX::ReadText({0, sizeof ansi, ansi}), QString::fromUtf8("caf\xC3\xA9"));
}

TEST(FxCommTX, FindsSendsAndReportsNothingWithoutATarget) {
    Peer peer({"--title", "Receiver One"});
    TfxCommTX tx;
    tx.SetRxWindowName("Receiver One");
    EXPECT_FALSE(tx.Active()) << "a name alone finds nothing yet";
    tx.Send("hello");
    EXPECT_TRUE(tx.Active());
    EXPECT_EQ(peer.WaitFor("got "), "got 5 hello");
    EXPECT_EQ(peer.WaitFor("done "), "done hello") << "the send returns after the handler";

    TfxCommTX nowhere;
    nowhere.SetRxWindowName(QString(300, 'n'));
    EXPECT_EQ(nowhere.RxWindowName().size(), 255);
    nowhere.SetRxWindowName("Nobody Here");
    nowhere.Send("lost");
    EXPECT_FALSE(nowhere.Active());
    nowhere.SetRxWindowName("Receiver One");
    nowhere.SetRxClassName("");
    nowhere.SetActive(true);
    EXPECT_FALSE(nowhere.Active()) << "an empty class name finds nothing";
    EXPECT_TRUE(peer.Drain().filter("got ").isEmpty());
}

TEST(FxCommTX, KeepsItsTargetUntilANameChanges) {
    Peer peer({"--title", "Moving"});
    TfxCommTX tx;
    tx.SetRxWindowName("Moving");
    tx.SetActive(true);
    ASSERT_TRUE(tx.Active());

    // The target window keeps its handle under a new title.
    peer.Command("title Moved");
    ASSERT_FALSE(peer.WaitFor("title ").isEmpty());
    tx.Send("still you");
    EXPECT_EQ(peer.WaitFor("got "), "got 9 still you");

    // Renaming drops the handle; the old title no longer leads anywhere.
    tx.SetRxWindowName("Moving");
    EXPECT_FALSE(tx.Active());
    tx.Send("gone");
    EXPECT_FALSE(tx.Active());

    // A target that ended: the send fails silently and the handle stays.
    tx.SetRxWindowName("Moved");
    tx.SetActive(true);
    ASSERT_TRUE(tx.Active());
    peer.Kill();
    tx.Send("anyone");
    EXPECT_TRUE(tx.Active());
    tx.SetActive(false);
    EXPECT_FALSE(tx.Active());
}

TEST(FxCommRX, HandlesNestedSendsWithinOneSend) {
    // The clone's "DJReady" makes the first copy send "CloneMode", which makes
    // the clone send "AddOneClone" back, all before the first send returns.
    Peer first({"--title", "Vandrex v4.4a", "--target", "Vandrex v4.4b", "--on",
                "DJReady=CloneMode"});
    Peer clone({"--title", "Vandrex v4.4b", "--target", "Vandrex v4.4a", "--on",
                "CloneMode=AddOneClone"});
    clone.Command("send DJReady");
    ASSERT_EQ(clone.WaitFor("sent "), "sent 1 DJReady");
    EXPECT_EQ(clone.Lines().mid(1),
              QStringList({"got 9 CloneMode", "done CloneMode", "sent 1 DJReady"}));
    first.Drain();
    EXPECT_EQ(first.Lines().mid(1), QStringList({"got 7 DJReady", "got 11 AddOneClone",
                                                 "done AddOneClone", "done DJReady"}));
}

TEST(FxCommRX, CallsItsHandlerForItsOwnWindowDirectly) {
    ApplicationWindow().SetTitle("ipc tests " + QString::number(QCoreApplication::applicationPid()));
    TfxCommRX rx;
    QStringList got;
    rx.OnCommReceived = [&](TfxCommRX* sender, const QString& text) {
        EXPECT_EQ(sender, &rx);
        got << text;
    };
    TfxCommTX tx;
    tx.SetRxWindowName(ApplicationWindow().Title());
    tx.Send("ResetPlayer");
    EXPECT_TRUE(tx.Active());
    EXPECT_EQ(got, QStringList{"ResetPlayer"});

    // A peer reaches this copy's receiver while this copy waits on nothing.
    Peer peer({"--target", ApplicationWindow().Title()});
    peer.Command("send from outside");
    EXPECT_EQ(peer.WaitFor("sent "), "sent 1 from outside");
    EXPECT_EQ(got, QStringList({"ResetPlayer", "from outside"}));

    // Without a handler the message passes on unhandled.
    rx.OnCommReceived = nullptr;
    qintptr result = 7;
    const char text[] = "x";
    EXPECT_TRUE(SendCopyData(OwnWindowHandle(), {0, 2, text}, &result));
    EXPECT_EQ(result, 0);
}
