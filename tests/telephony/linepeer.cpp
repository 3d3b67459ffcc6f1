// A second process with its own line component, driven by lines on standard
// input and reporting what happens on standard output, one line per event:
//   dev N        choose device N and open it        -> "opened N" / "unusable N"
//   number TEXT  the number to dial
//   button       the Phone button
//   wait 0|1     WaitForCall
//   send HEX     write bytes                          -> "sent N"
//   echo 0|1     send back whatever arrives
//   quit
// Events: "caption TEXT", "status TEXT", "lamp 0|1", "lamps off", "data HEX".
#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

#include "platform/dialogs.h"
#include "telephony/phonecalltool.h"
#include "telephony/tapiline.h"

using namespace vandrex;

namespace {

void Say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

class PrintView : public TPhoneView {
public:
    void SetButtonCaption(const QString& c) override { Say("caption " + c); }
    void SetStatus(const QString& t) override { Say("status " + t); }
    QString PhoneNumberText() const override { return number; }
    void SetLineLamp(bool lit) override { Say(lit ? "lamp 1" : "lamp 0"); }
    void TransferLampsOff() override { Say("lamps off"); }
    QString number;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TRecordingDialogs dialogs;
    SetDialogs(&dialogs);
    TTAPILine line;
    PrintView view;
    TPhoneCallTool tool(line, view);
    line.WaitForCall = false;
    line.Timeout = 5;
    bool echo = false;
    line.OnNewData = [&](TTAPILine* l) {
        QByteArray all;
        char buf[4096];
        for (;;) {
            const long n = l->ReadBuffer(buf, 0, sizeof buf);
            if (n <= 0) break;
            all.append(buf, static_cast<int>(n));
        }
        if (all.isEmpty()) return;
        if (echo) l->WriteBuffer(all.constData(), all.size());
        Say("data " + QString::fromLatin1(all.toHex()));
    };
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buf[65536];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            app.quit();
            return;
        }
        pending.append(buf, static_cast<int>(n));
        int end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString cmd = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            const QString arg = cmd.section(' ', 1);
            try {
                if (cmd.startsWith("dev ")) {
                    line.SetDevIdToInitialize(arg.toInt());
                    if (line.DevIdToInitialize() != arg.toInt()) {
                        Say("unusable " + arg);
                        continue;
                    }
                    line.Open();
                    Say("opened " + arg + " as " + QString::number(line.OpenDevice()));
                } else if (cmd.startsWith("number ")) {
                    line.SetPhoneNumber(arg);
                    view.number = arg;
                } else if (cmd == "button") {
                    tool.WebPhoneButton1Click();
                } else if (cmd.startsWith("wait ")) {
                    line.WaitForCall = arg == "1";
                } else if (cmd.startsWith("echo ")) {
                    echo = arg == "1";
                } else if (cmd.startsWith("send ")) {
                    const QByteArray bytes = QByteArray::fromHex(arg.toLatin1());
                    line.WriteBuffer(bytes.constData(), bytes.size());
                    Say("sent " + QString::number(bytes.size()));
                } else if (cmd == "quit") {
                    app.quit();
                }
            } catch (const Exception& e) {
                Say("error " + QString::fromStdString(e.message()));
            }
        }
    });
    Say("ready");
    return app.exec();
}
