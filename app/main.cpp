// Program entry: the application object, the three windows, the message loop.

#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include "app/application.h"
#include "app/mainwindow.h"
#include "imaging/videocap.h"
#include "mail/ftpadapter.h"
#include "mail/smtpadapter.h"
#include "media/producercontrol.h"
#include "media/realaudio.h"
#include "media/rmeditor.h"
#include "telephony/tapilineadapter.h"

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM, SIGINT and SIGHUP end the program through the window's clean
// shutdown, on the user-interface thread.
void installSignalHandlers(vandrex::TForm1* form) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, form);
    QObject::connect(notifier, &QSocketNotifier::activated, form, [form] {
        char byte;
        [[maybe_unused]] ssize_t n = ::read(signalPipe[0], &byte, 1);
        form->TerminateCleanly();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &sa, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    vandrex::TApplication app(argc, argv);
    vandrex::TApplication::setApplicationName(QStringLiteral("Vandrex v4.4a"));
    app.setQuitOnLastWindowClosed(false);

    // The one place that chooses the outside components. A subsystem that
    // brings its real component replaces its stand-in on its line.
    vandrex::TForm1Components components;
    components.Modem1 = std::make_unique<vandrex::TTAPILineAdapter>();
    auto camera = std::make_unique<vandrex::TVideoCap>();
    vandrex::ApplyVideoCap1Settings(*camera);
    components.VideoCap1 = std::move(camera);
    components.RealAudioControl = std::make_unique<vandrex::TProducerControl>();
    components.Real_Player_1 = std::make_unique<vandrex::TRealAudio>();
    components.SMTP1 = std::make_unique<vandrex::TSmtpAdapter>();
    components.FTP1 = std::make_unique<vandrex::TFtpAdapter>();
    components.Transport = &vandrex::LocalSocketTransport();

    auto* form = new vandrex::TForm1(std::move(components));
    form->CreateOptionsWindow();
    auto* editor = new vandrex::TRMeditor(form);
    form->SetEditorWindow(editor);
    installSignalHandlers(form);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, form, [form](QSessionManager&) {
        form->TerminateCleanly();
    });

    form->show();
    form->activateWindow();
    // Some platforms (offscreen, a bare X server) never activate the window;
    // the first activation then runs from the message loop all the same.
    QTimer::singleShot(0, form, &vandrex::TForm1::RunPendingActivation);
    const int rc = app.exec();
    delete form;
    return rc;
}
