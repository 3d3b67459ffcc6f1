// Activation, shutdown and the error box.

#include "window_fixture.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QDir>
#include <QThread>
#include <QTimer>
#include <csignal>
#include <sys/stat.h>

#include "app/application.h"
#include "app/clonemode.h"
#include "app/panels/mailpanel.h"
#include "app/panels/panels.h"
#include "compress/filesource.h"
#include "platform/exceptions.h"
#include "telephony/phoneoptions.h"
#include "tests/doubles/loopbacktransport.h"

namespace vandrex::testing {
namespace {

using Lifecycle = WindowTest;

TEST_F(Lifecycle, ActivationSetsTheInstanceStateAndTheComponents) {
    Create();
    // Opposite values first, so each one checked below is activation's work.
    for (const char* name : {"DeInterlaceFilter", "EmphasizeAudio", "LossProtection"})
        doubles.producer->SetProperty(name, true);
    doubles.producer->SetProperty("InputCaptureAudioDriver", 3);
    doubles.capture->index = -1;  // none chosen yet: activation takes the first
    doubles.capture->driverOpen = true;
    for (const char* name : {"Source1", "Format1", "Display1"}) form->control<QAction>(name)->setVisible(false);
    Start();
    bool ok = false;
    const int number = form->Clones().InstanceNumber().toInt(&ok);
    EXPECT_TRUE(ok);
    EXPECT_GE(number, 0);
    EXPECT_LE(number, 99999998);
    EXPECT_EQ(form->control<QLabel>("Image3")->toolTip(), form->Clones().InstanceNumber());
    EXPECT_EQ(form->Panels().Mail.SenderAddress(), "vandrex_" + form->Clones().InstanceNumber() + "@" + TMailPanel::kSenderDomain);
    EXPECT_EQ(form->Panels().Mail.ObjectSheetNames().size(), 13);
    EXPECT_EQ(form->Panels().Mail.ObjectSheetNames().value(12), "Crypt");
    EXPECT_EQ(doubles.line->DevIdToInitialize(), 0);
    EXPECT_EQ(doubles.line->OpenCalls, 1);
    EXPECT_TRUE(doubles.capture->VideoPreview());
    for (const char* name : {"DeInterlaceFilter", "EmphasizeAudio", "LossProtection"}) {
        ASSERT_TRUE(doubles.producer->Get(name).isValid()) << name;
        EXPECT_FALSE(doubles.producer->Get(name).toBool()) << name;
    }
    EXPECT_EQ(doubles.producer->Get("InputCaptureAudioDriver").toInt(), 0);
    EXPECT_EQ(doubles.capture->DriverIndex(), 0);
    EXPECT_FALSE(doubles.capture->DriverOpen());
    for (const char* name : {"Source1", "Format1", "Display1"})
        EXPECT_TRUE(form->control<QAction>(name)->isVisible()) << name;
    EXPECT_TRUE(form->control<QAction>("D1")->isVisible());
    EXPECT_EQ(form->control<QAction>("D1")->text(), "Vandrex Test Pattern");
}

TEST_F(Lifecycle, RepeatedDriverNamesGetNoSlotOfTheirOwn) {
    Create();
    doubles.capture->Drivers = {"Cam A", "Cam A", "Cam B", "Cam C", "Cam C", "Cam D"};
    Start();
    EXPECT_TRUE(form->control<QAction>("D1")->isVisible());
    EXPECT_FALSE(form->control<QAction>("D2")->isVisible());
    EXPECT_TRUE(form->control<QAction>("D3")->isVisible());
    EXPECT_TRUE(form->control<QAction>("D4")->isVisible());
    EXPECT_FALSE(form->control<QAction>("D5")->isVisible());
    EXPECT_EQ(form->control<QAction>("D4")->text(), "Cam C");
}

TEST_F(Lifecycle, SwitchingApplicationsDoesNotResetTheCard) {
    WriteFile(DbPath(), CardsWithLastNames({"a", "b"}));
    Start();
    Click("Next");
    QEvent deactivate(QEvent::WindowDeactivate), activate(QEvent::WindowActivate);
    QApplication::sendEvent(form.get(), &deactivate);
    QApplication::sendEvent(form.get(), &activate);
    Process();
    EXPECT_EQ(form->ActivationCount(), 1);
    EXPECT_EQ(Panel1(), "1");
}

TEST_F(Lifecycle, ActivationClosesThePreviousFileHandle) {
    Start();
    for (int i = 0; i < 50; ++i) form->FormActivate();
    int open = 0;
    for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::System | QDir::Files))
        if (fd.symLinkTarget().endsWith("Your DataBase.DAT")) ++open;
    EXPECT_LE(open, 1);
}

class Thrower : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw EInOutError("I/O error 5");
        return QObject::event(e);
    }
};

TEST_F(Lifecycle, AnExceptionEscapingAHandlerIsShownInTheErrorBox) {
    Start();
    Thrower t;
    QCoreApplication::postEvent(&t, new QEvent(QEvent::User));
    QTimer::singleShot(0, &t, [] { throw Exception("No capture driver selected"); });
    Process();
    EXPECT_EQ(dialogs.errors(), (QStringList{"I/O error 5", "No capture driver selected"}));
    // The window goes on working.
    Edit("Edit2")->setText("Still");
    Click("Save");
    EXPECT_EQ(LastNamesIn(DbPath()), (std::vector<std::string>{"Still"}));
}

TEST_F(Lifecycle, TerminationSignalEndsTheProgramWithNothingLost) {
    // A 0-byte database cannot be closed with Close; a signal still ends it.
    WriteFile(DbPath(), "");
    QProcess p;
    p.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(VANDREX_EXE, {});
    ASSERT_TRUE(p.waitForStarted());
    QThread::msleep(800);
    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(Db(), "");

    // With cards, the signal sorts and keeps them all.
    WriteFile(DbPath(), CardsWithLastNames({"c", "a", "b"}));
    p.start(VANDREX_EXE, {});
    ASSERT_TRUE(p.waitForStarted());
    QThread::msleep(800);
    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(LastNamesIn(DbPath()), (std::vector<std::string>{"a", "b", "c"}));
}

}  // namespace
}  // namespace vandrex::testing

namespace vandrex::testing {
namespace {

TEST_F(Lifecycle, CarriedFilesLiveInTemporaryFilesWhileTheWindowExists) {
    Start();
    ASSERT_EQ(form->FileSources().size(), 3u);
    // Other test processes may claim the same temporary name once it is
    // free again, so a file is known by its inode, not only by its name.
    std::vector<std::pair<std::string, ino_t>> files;
    for (const auto& source : form->FileSources()) {
        const std::string name = source->FileName();
        struct stat st {};
        EXPECT_EQ(::stat(name.c_str(), &st), 0) << name;
        EXPECT_NE(QFileInfo(QString::fromStdString(name)).fileName().indexOf("~fs"), -1) << name;
        EXPECT_GT(st.st_size, 0);
        files.emplace_back(name, st.st_ino);
    }
    form.reset();
    for (const auto& [name, inode] : files) {
        struct stat st {};
        EXPECT_TRUE(::stat(name.c_str(), &st) != 0 || st.st_ino != inode) << name << " still there";
    }
}

}  // namespace
}  // namespace vandrex::testing

namespace vandrex::testing {
namespace {

// A real clone process killed with SIGKILL sends no "ResetPlayer"; this
// first copy notices on its own and can be closed again.
TEST_F(Lifecycle, AKilledCloneProcessIsCountedOut) {
    WriteFile(DbPath(), CardsWithLastNames({"a", "b"}));
    Start();
    ASSERT_FALSE(form->Clones().IsClone());
    form->Clones().SetCloneCheckInterval(100);

    QProcess clone;
    clone.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", dir.path());
    clone.setProcessEnvironment(env);
    clone.start(VANDREX_EXE, {});
    ASSERT_TRUE(clone.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Clones().CloneCount() == 1; }, 20000))
        << "the second copy never became a clone";
    EXPECT_FALSE(Button("Close")->isEnabled());

    ::kill(static_cast<pid_t>(clone.processId()), SIGKILL);
    ASSERT_TRUE(clone.waitForFinished(10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->Clones().CloneCount() == 0; }, 10000));
    EXPECT_TRUE(Button("Close")->isEnabled());
    EXPECT_EQ(form->Title(), kFirstCopyTitle);
}

}  // namespace
}  // namespace vandrex::testing

namespace vandrex::testing {
namespace {

// The message transport of a lone copy, telling the journal of title changes
// and sends.
class JournalTransport final : public TMessageTransport {
public:
    JournalTransport(TMessageTransport& inner, std::function<void(const QString&)> journal)
        : inner_(inner), journal_(std::move(journal)) {}
    TWindowHandle FindWindow(const QString& c, const QString& w) override { return inner_.FindWindow(c, w); }
    bool SendCopyData(const TWindowHandle& target, const TCopyDataStruct& data) override {
        journal_("Send " + QString::fromLatin1(static_cast<const char*>(data.lpData)));
        return inner_.SendCopyData(target, data);
    }
    int HookMainWindow(TWindowHook hook) override { return inner_.HookMainWindow(std::move(hook)); }
    void UnhookMainWindow(int id) override { inner_.UnhookMainWindow(id); }
    QString Title() const override { return inner_.Title(); }
    void SetTitle(const QString& title) override {
        journal_("Title=" + title);
        inner_.SetTitle(title);
    }

private:
    TMessageTransport& inner_;
    std::function<void(const QString&)> journal_;
};

TEST_F(Lifecycle, ActivationRunsItsStepsInOrder) {
    QStringList journal;
    bool recording = false;
    auto note = [&](const QString& entry) {
        if (!recording) return;
        journal << entry;
        // What earlier steps must have done by the time a later one runs.
        if (entry == "Title=Vandrex v4.4b") {
            journal << (form->control<QLabel>("Image3")->toolTip().isEmpty() ? "no instance number"
                                                                              : "instance number drawn");
            journal << (form->control<QAction>("Source1")->isVisible() ? "capture items shown" : "items hidden");
        }
        if (entry == "Capture.DriverIndex=0")
            journal << (form->control<QAction>("D1")->isVisible() ? "driver slots filled" : "no driver slots");
        if (entry == "Capture.VideoPreview=true")
            journal << (QFileInfo::exists(QString::fromStdString(DbPath())) ? "database open" : "no database yet");
    };
    LoopbackDesktop desktop;
    auto endpoint = desktop.NewCopy();
    JournalTransport transport(*endpoint, note);
    doubles.transport = &transport;
    Create();
    doubles.line->Journal = note;
    doubles.capture->Journal = note;
    doubles.producer->Journal = note;
    form->control<QAction>("Source1")->setVisible(false);
    recording = true;
    Start();
    recording = false;

    const QStringList expected = {
        "Line.DevIdToInitialize=0", "Line.Open",
        "Producer.DeInterlaceFilter=false", "Producer.EmphasizeAudio=false", "Producer.LossProtection=false",
        "Producer.InputCaptureAudioDriver=0",
        "Title=Vandrex v4.4b", "instance number drawn", "capture items shown", "Title=Vandrex v4.4a",
        "Capture.DriverNames", "Capture.DriverIndex=0", "driver slots filled", "Capture.DriverOpen=false",
        "Capture.VideoPreview=true", "no database yet"};
    // Later calls (the cards shown, the player-mode defaults) are not activation's order.
    EXPECT_EQ(journal.mid(0, expected.size()), expected) << journal.join("\n").toStdString();
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(DbPath()))) << "the database opens last";
    EXPECT_EQ(Panel1(), "0");
    form.reset();  // before its transport goes
}

}  // namespace
}  // namespace vandrex::testing
