// A running copy of the program for the clone-mode tests: the same start as
// the program entry (application, main window, options window, editor,
// message loop) plus a control line on stdin and a report on stdout, so a
// test can look at the window of each of several copies.
//   out: activated <n> | got <length> <text> | state <json> | clicked <name>
//        | triggered <action> | messages <json> | player <json> | sent <text>
//   in:  state | click <button> | newclick | set <edit> <text> | options | close
//        | send <text> | messages | player

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

#include "app/application.h"
#include "app/cardfiletool.h"
#include "app/clonemode.h"
#include "app/mainwindow.h"
#include "media/rmeditor.h"
#include "platform/dialogs.h"
#include "telephony/phoneoptions.h"
#include "tests/doubles/recordingcomponents.h"

using namespace vandrex;

namespace {

void emitLine(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QString compact(const QJsonObject& o) { return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)); }

QJsonObject state(TForm1* form) {
    QJsonObject s;
    s["title"] = form->Title();
    s["caption"] = form->windowTitle();
    s["cloneCount"] = form->Clones().CloneCount();
    s["senderTarget"] = form->Clones().Sender().RxWindowName();
    s["senderActive"] = form->Clones().SenderActive();
    s["web"] = form->control<QLineEdit>("WebSiteAddressEdit")->text();
    s["mixer"] = form->control<QAction>("MixerAction")->text();
    s["djAuto"] = form->control<QAction>("DJAutoMatic")->isChecked();
    s["djAutoEnabled"] = form->control<QAction>("DJAutoMatic")->isEnabled();
    s["djManual"] = form->control<QAction>("DJManual")->isChecked();
    s["instance"] = form->Clones().InstanceNumber();
    s["cardIndex"] = form->Cards().Database().CardIndex;
    s["edit2"] = form->control<QLineEdit>("Edit2")->text();
    s["edit2Visible"] = form->control<QLineEdit>("Edit2")->isVisible();
    QJsonObject enabled;
    for (const char* name : {"Save", "Erase", "New", "Close", "Previous", "Next", "TrackBar1", "Connection",
                             "SendBtn", "VideoPhone"})
        enabled[name] = form->control<QWidget>(name)->isEnabled();
    s["enabled"] = enabled;
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TApplication::setApplicationName(QStringLiteral("Vandrex v4.4a"));
    app.setQuitOnLastWindowClosed(false);
    TRecordingDialogs dialogs;
    SetDialogs(&dialogs);

    vandrex::testing::RecordingComponents doubles;
    auto* form = new TForm1(doubles.Make());
    form->SetOptionsWindow(new TPhoneOptions(form));
    form->SetEditorWindow(new TRMeditor(form));
    QObject::connect(form, &TForm1::Activated, form,
                     [form] { emitLine(QStringLiteral("activated %1").arg(form->ActivationCount())); });
    TCloneMode& clones = form->Clones();
    clones.Receiver().OnCommReceived = [&clones](TfxCommRX* sender, const QString& text) {
        emitLine(QStringLiteral("got %1 %2").arg(text.size()).arg(text));
        clones.VandrexCommRXCommReceived(sender, text);
    };
    for (const char* name : {"PauseMix", "StopMix", "StartMix"})
        QObject::connect(form->control<QAction>(name), &QAction::triggered, form,
                         [name] { emitLine(QStringLiteral("triggered ") + name); });

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, form, [&] {
        // Read what has arrived and handle every complete line of it.
        char chunk[4096];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            input.setEnabled(false);
            return;
        }
        pending.append(chunk, n);
        for (qsizetype eol; (eol = pending.indexOf('\n')) >= 0;) {
            const QString command = QString::fromUtf8(pending.left(eol));
            pending.remove(0, eol + 1);
            const QString verb = command.section(' ', 0, 0);
            const QString rest = command.section(' ', 1);
            if (verb == "state") {
                emitLine("state " + compact(state(form)));
            } else if (verb == "click") {
                form->control<QPushButton>(rest.toLatin1().constData())->click();
                emitLine("clicked " + rest);
            } else if (verb == "newclick") {
                form->Cards().NewClick();  // as the keyboard or a script would, past the disabled button
                emitLine("clicked New");
            } else if (verb == "set") {
                form->control<QLineEdit>(rest.section(' ', 0, 0).toLatin1().constData())->setText(rest.section(' ', 1));
                emitLine("set " + rest);
            } else if (verb == "options") {
                // The user closes the options window again at once.
                QTimer::singleShot(100, form, [] {
                    if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) modal->accept();
                });
                form->MenuItem1Click();
            } else if (verb == "close") {
                form->CloseClick();
                emitLine(form->Terminated() ? QStringLiteral("closed") : QStringLiteral("refused"));
            } else if (verb == "send") {
                clones.Send(rest);
                emitLine("sent " + rest);
            } else if (verb == "messages") {
                emitLine("messages " + QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(dialogs.messages()))
                                                             .toJson(QJsonDocument::Compact)));
            } else if (verb == "player") {
                QStringList calls;
                for (const QString& c : doubles.player->Calls) calls << c;
                emitLine("player " + QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(calls))
                                                           .toJson(QJsonDocument::Compact)));
            }
        }
    });

    form->show();
    form->activateWindow();
    QTimer::singleShot(0, form, &TForm1::RunPendingActivation);
    const int rc = app.exec();
    delete form;
    SetDialogs(nullptr);
    return rc;
}
