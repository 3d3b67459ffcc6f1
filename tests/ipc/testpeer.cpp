// A stand-alone copy for the instance-message tests: a receiver and a sender
// under a given title, with scripted answers. Commands arrive on stdin, one
// a line; events go to stdout, one a line:
//   ready <id>              set up
//   got <length> <text>     a handler started
//   done <text>             that handler ended
//   sent <active> <text>    a send returned (active 0/1 afterwards)
// Options: --title T, --target T (the sender's window name), --timeout MS,
// --on MSG=REPLY (send REPLY when MSG arrives; repeatable), --hang-on MSG
// (that handler never returns), --no-handler (receiver without a handler).
// Commands: send TEXT, title T, target T, quit.

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
        }
    }

    if (handler) {
        rx.OnCommReceived = [&](TfxCommRX*, const QString& text) {
            emitLine(QStringLiteral("got %1 %2").arg(text.size()).arg(text));
            if (hangOn.contains(text)) {
                for (;;) pause();
            }
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
            } else if (verb == "quit") {
                app.quit();
            }
        }
    });
    emitLine(QStringLiteral("ready ") + OwnWindowHandle().Id());
    return app.exec();
}
