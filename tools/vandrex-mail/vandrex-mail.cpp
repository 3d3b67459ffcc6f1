// vandrex-mail: the program's mail from the command line.
//
//   vandrex-mail compose [OPTIONS] < TEXT    print the message as Send hands
//                                            it over (headers, body, CR LF)
//   vandrex-mail send --server HOST[:PORT] [--count N] [OPTIONS] < TEXT
//                                            send it N times (default 1) over
//                                            one session
//
// OPTIONS (each an input of the mail panel):
//   --to ADDR --from ADDR --subject TEXT --sign --key TEXT
//   --html                       the FTP lamp is lit: send the HTML page
//   --choice gif|jpg|audio|video the picture/clip radio group (default audio)
//   --sheet NAME                 object page for this object sheet
//   --web-address URL --remote-file NAME
//   --font-size N --font-color RRGGBB --bg-color RRGGBB
//   --timeout MS                 (send) every wait for the server
//
// TEXT is UTF-8; its lines become the text area's lines. The server's
// certificate authority may be added with VANDREX_MAIL_CA_FILE; AUTH uses
// ~/.netrc. Exit status: 0 sent/printed, 1 refused or failed, 2 bad command line.

#include <QCoreApplication>
#include <QDateTime>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include "mail/ftpnames.h"
#include "mail/mailmessage.h"
#include "mail/smtp.h"
#include "platform/exceptions.h"

namespace {

using namespace vandrex;

constexpr const char* kUsage =
    "usage: vandrex-mail compose [OPTIONS] < TEXT\n"
    "       vandrex-mail send --server HOST[:PORT] [--count N] [OPTIONS] < TEXT\n"
    "options: --to ADDR --from ADDR --subject TEXT --sign --key TEXT --html\n"
    "         --choice gif|jpg|audio|video --sheet NAME --web-address URL\n"
    "         --remote-file NAME --font-size N --font-color RRGGBB --bg-color RRGGBB\n"
    "         --timeout MS\n";

struct Options {
    TSendInput input;
    QString webAddress, remoteFile, server;
    int count = 1;
    int timeout = 30000;
};

bool Parse(int argc, char** argv, Options& o) {
    o.input.fields.sender = QStringLiteral("vandrex_0@vandrex.invalid");
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> QString {
            if (i + 1 >= argc)
                throw std::invalid_argument(a + " needs a value");
            return QString::fromUtf8(argv[++i]);
        };
        if (a == "--to") o.input.fields.recipient = value();
        else if (a == "--from") o.input.fields.sender = value();
        else if (a == "--subject") o.input.fields.subject = value();
        else if (a == "--key") o.input.fields.key = value();
        else if (a == "--sign") o.input.fields.sign = true;
        else if (a == "--html") o.input.fields.html = true;
        else if (a == "--sheet") { o.input.sheet = value(); o.input.objectPage = true; }
        else if (a == "--web-address") o.webAddress = value();
        else if (a == "--remote-file") o.remoteFile = value();
        else if (a == "--font-size") o.input.page.fontSize = value();
        else if (a == "--font-color") o.input.page.fontColor = value();
        else if (a == "--bg-color") o.input.page.backgroundColor = value();
        else if (a == "--server") o.server = value();
        else if (a == "--count") o.count = value().toInt();
        else if (a == "--timeout") o.timeout = value().toInt();
        else if (a == "--choice") {
            const QString c = value();
            if (c == "gif") o.input.page.choice = TMailChoice::Gif;
            else if (c == "jpg") o.input.page.choice = TMailChoice::Jpg;
            else if (c == "audio") o.input.page.choice = TMailChoice::Audio;
            else if (c == "video") o.input.page.choice = TMailChoice::Video;
            else throw std::invalid_argument("unknown choice " + c.toStdString());
        } else {
            throw std::invalid_argument("unknown option " + a);
        }
    }
    return true;
}

QString ReadText() {
    std::string all((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    if (!all.empty() && all.back() == '\n')
        all.pop_back();
    if (!all.empty() && all.back() == '\r')
        all.pop_back();
    return MemoText(MemoLines(QString::fromUtf8(all.data(), qsizetype(all.size()))));
}

int Send(const Options& o, const TComposedMail& mail) {
    TSMTP smtp;
    smtp.RemoteHost = o.server;
    smtp.Timeout = o.timeout;
    int sent = 0;
    int failures = 0;
    QObject::connect(&smtp, &TSMTP::Error, [&](int number, const QString& description, bool*) {
        ++failures;
        std::cerr << "vandrex-mail: " << number << " - " << description.toStdString() << "\n";
    });
    QObject::connect(&smtp, &TSMTP::StateChanged, [&](int state) {
        if (state == 4)
            smtp.SendDoc(mail.headers, mail.body);
        else if (state == 6)
            QCoreApplication::exit(0);
    });
    QObject::connect(&smtp, &TSMTP::DocInputChanged, [&](TDocInput* doc) {
        if (doc->State != TDocInput::StateEnd)
            return;
        ++sent;
        if (sent < o.count && failures == 0)
            QMetaObject::invokeMethod(&smtp, [&] { smtp.SendDoc(mail.headers, mail.body); }, Qt::QueuedConnection);
        else
            QMetaObject::invokeMethod(&smtp, [&] { smtp.Quit(); }, Qt::QueuedConnection);
    });
    smtp.Connect();
    QCoreApplication::exec();
    return failures == 0 && sent == o.count ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string command = argc > 1 ? argv[1] : "";
    Options o;
    try {
        if (command != "compose" && command != "send")
            throw std::invalid_argument("unknown command");
        Parse(argc, argv, o);
        if (command == "send" && o.server.isEmpty())
            throw std::invalid_argument("send needs --server");
    } catch (const std::invalid_argument& e) {
        std::cerr << "vandrex-mail: " << e.what() << "\n" << kUsage;
        return 2;
    }
    o.input.fields.text = ReadText();
    o.input.page.fileUrl = FileUrl(o.webAddress, o.remoteFile);
    if (o.input.fields.recipient.isEmpty()) {
        std::cerr << "vandrex-mail: NO E-MAIL ADDRESS !\n";
        return 1;
    }
    const QString unsafe = CheckHeaderFields(o.input.fields);
    if (!unsafe.isEmpty()) {
        std::cerr << "vandrex-mail: " << unsafe.toStdString() << "\n";
        return 1;
    }
    TComposedMail mail;
    try {
        mail = ComposeMail(o.input);
    } catch (const std::exception& e) {
        std::cerr << "vandrex-mail: " << e.what() << "\n";
        return 1;
    }
    if (command == "compose") {
        const QByteArray bytes = RenderMessage(mail.headers, mail.body, QDateTime::currentDateTime());
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        return 0;
    }
    return Send(o, mail);
}
