// A stand-alone copy for the instance-message tests: a receiver and a sender
// under a given title, with scripted answers. Commands arrive on stdin, one
// a line; events go to stdout, one a line:
//   ready <id>              set up
//   got <length> <text>     a handler started
//   done <text>             that handler ended
//   sent <active> <text>    a send returned (active 0/1 afterwards)
// Options: --title T, --target T (the sender's window name), --timeout MS,
// --on MSG=REPLY (send REPLY when MSG arrives; repeatable), --hang-on MSG
// (that handler never returns), --busy-on MSG=MS (that handler keeps the copy
// busy for MS milliseconds), --no-handler (receiver without a handler),
// Commands: send TEXT, title T, target T, alive ID, quit, and
// decide FIRST=CLONE=MS: under the copy decision lock, take the title CLONE
// when a copy titled FIRST runs, else FIRST, waiting MS milliseconds between
// search and title; prints "decided first|clone <held 0/1> <id>".

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QStringList>

#include <cstdio>
#include <map>
#include <unistd.h>

#include "ipc/fxcommrx.h"
#include "ipc/fxcommtx.h"
#include "platform/windowmessages.h"

using namespace vandrex;

namespace {

void emitLine(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TfxCommTX tx;
    TfxCommRX rx;
    std::multimap<QString, QString> replies;
    QStringList hangOn;
    std::map<QString, int> busyOn;

    bool handler = true;
    QString title;

    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == "--no-handler") {
            handler = false;
        } else if (a == "--title") {
            title = args.value(++i);
        } else if (a == "--target") {
            tx.SetRxWindowName(args.value(++i));
        } else if (a == "--timeout") {
            SetMessageTimeout(args.value(++i).toInt());
        } else if (a == "--on") {
            const QString rule = args.value(++i);
            const int eq = rule.indexOf('=');
            replies.insert({rule.left(eq), rule.mid(eq + 1)});
        } else if (a == "--hang-on") {
            hangOn << args.value(++i);
        } else if (a == "--busy-on") {
            const QString rule = args.value(++i);
            busyOn[rule.section('=', 0, 0)] = rule.section('=', 1).toInt();
        }
    }

    if (handler) {
        rx.OnCommReceived = [&](TfxCommRX*, const QString& text) {
            emitLine(QStringLiteral("got %1 %2").arg(text.size()).arg(text));
            if (hangOn.contains(text)) {
                for (;;) pause();
            }
            if (busyOn.count(text)) ::usleep(useconds_t(busyOn[text]) * 1000);
            auto [from, to] = replies.equal_range(text);
            for (auto it = from; it != to; ++it) tx.Send(it->second);
            emitLine(QStringLiteral("done ") + text);
        };
    }
    if (!title.isEmpty()) ApplicationWindow().SetTitle(title);
    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        // Read what has arrived and handle every complete line of it.
        char chunk[4096];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            input.setEnabled(false);
            app.quit();
            return;
        }
        pending.append(chunk, n);
        for (qsizetype eol; (eol = pending.indexOf('\n')) >= 0;) {
            const QString command = QString::fromUtf8(pending.left(eol));
            pending.remove(0, eol + 1);
            const QString verb = command.section(' ', 0, 0);
            const QString rest = command.section(' ', 1);
            if (verb == "send") {
                tx.Send(rest);
                emitLine(QStringLiteral("sent %1 %2").arg(tx.Active() ? 1 : 0).arg(rest));
            } else if (verb == "title") {
                ApplicationWindow().SetTitle(rest);
                emitLine(QStringLiteral("title ") + rest);
            } else if (verb == "target") {
                tx.SetRxWindowName(rest);
                emitLine(QStringLiteral("target ") + rest);
            } else if (verb == "decide") {
                const QStringList names = rest.split('=');
                TCopyDecisionLock lock;
                const bool held = lock.Held();
                const bool clone = !FindWindow(ApplicationWindow().ClassName(), names.value(0)).IsNull();
                ::usleep(useconds_t(names.value(2).toInt()) * 1000);
                ApplicationWindow().SetTitle(clone ? names.value(1) : names.value(0));
                lock.release();
                emitLine(QStringLiteral("decided %1 %2 %3")
                             .arg(clone ? "clone" : "first")
                             .arg(held ? 1 : 0)
                             .arg(OwnWindowHandle().Id()));
            } else if (verb == "alive") {
                emitLine(QStringLiteral("alive %1").arg(IsWindow(TWindowHandle(rest)) ? 1 : 0));
            } else if (verb == "quit") {
                app.quit();
            }
        }
    });
    emitLine(QStringLiteral("ready ") + OwnWindowHandle().Id());
    return app.exec();
}
