// vandrex-rm: info, encode, cut, join, tag and play RealMedia files.
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <iostream>

#include "media/mediafileeditor.h"
#include "media/producercontrol.h"
#include "media/playlistplayer.h"

using namespace vandrex;

namespace {

int Usage() {
    std::cerr << "usage: vandrex-rm info FILE\n"
                 "       vandrex-rm encode IN OUT [Name=value ...]\n"
                 "       vandrex-rm cut IN OUT START_MS END_MS\n"
                 "       vandrex-rm join A B OUT\n"
                 "       vandrex-rm tag FILE Name=value ...\n"
                 "       vandrex-rm play LIST [--silent]\n";
    return 2;
}

int Fail(const std::string& message) {
    std::cerr << "vandrex-rm: " << message << "\n";
    return 1;
}

bool ParseInt(const QString& text, int* out) {
    bool ok = false;
    *out = text.toInt(&ok);
    return ok;
}

int Info(const QString& file) {
    TMediaFileEditor f(file);
    std::cout << "Duration=" << f.Duration() << "\n"
              << "Title=" << f.Title().toStdString() << "\n"
              << "Author=" << f.Author().toStdString() << "\n"
              << "Copyright=" << f.Copyright().toStdString() << "\n"
              << "Description=" << f.Description().toStdString() << "\n"
              << "Keywords=" << f.Keywords().toStdString() << "\n"
              << "Rating=" << f.Rating() << "\n"
              << "Indexable=" << f.Indexable() << "\n"
              << "SelectiveRecord=" << f.SelectiveRecord() << "\n"
              << "MobilePlay=" << f.MobilePlay() << "\n";
    return 0;
}

int Encode(const QStringList& args) {
    TProducerControl control;
    control.SetInputType(0);
    control.SetInputFilename(args[0]);
    control.SetOutputFilename(args[1]);
    for (int i = 2; i < args.size(); ++i) {
        const int eq = args[i].indexOf('=');
        if (eq <= 0) return Fail("not Name=value: " + args[i].toStdString());
        const QString name = args[i].left(eq), value = args[i].mid(eq + 1);
        if (name.startsWith("Audience.")) {
            const QStringList parts = name.split('.');
            int n = -1;
            bool ok = false;
            const float v = value.toFloat(&ok);
            if (parts.size() != 3 || !ParseInt(parts[1], &n) || n < 0 || n >= kAudienceCount || !ok || v < 0)
                return Fail("bad audience setting: " + args[i].toStdString());
            if (parts[2] == "Bitrate") control.GetAudienceSettings(n).SetTargetBitrate(v);
            else if (parts[2] == "FrameRate") control.GetAudienceSettings(n).SetMaxFrameRate(v);
            else return Fail("bad audience setting: " + args[i].toStdString());
        } else if (!control.SetProperty(name, value)) {
            return Fail("unknown setting or bad value: " + args[i].toStdString());
        }
    }
    int errors = 0;
    QObject::connect(&control, &TProducerControl::OnErrorOccurred, [&](int code, const QString& text) {
        ++errors;
        std::cerr << "vandrex-rm: error " << code << ": " << text.toStdString() << "\n";
    });
    control.StartEncoding();
    control.WaitUntilIdle(24 * 3600 * 1000);
    return errors ? 1 : 0;
}

int Tag(const QStringList& args) {
    TMediaFileEditor f(args[0]);
    for (int i = 1; i < args.size(); ++i) {
        const int eq = args[i].indexOf('=');
        if (eq <= 0) return Fail("not Name=value: " + args[i].toStdString());
        const QString name = args[i].left(eq), value = args[i].mid(eq + 1);
        int n = 0;
        if (name == "Title") f.SetTitle(value);
        else if (name == "Author") f.SetAuthor(value);
        else if (name == "Copyright") f.SetCopyright(value);
        else if (name == "Description") f.SetDescription(value);
        else if (name == "Keywords") f.SetKeywords(value);
        else if (name == "Rating" && ParseInt(value, &n) && n >= 0 && n <= 3) f.SetRating(n);
        else if (name == "Indexable" && ParseInt(value, &n)) f.SetIndexable(ToWordBool(n != 0));
        else if (name == "SelectiveRecord" && ParseInt(value, &n)) f.SetSelectiveRecord(ToWordBool(n != 0));
        else if (name == "MobilePlay" && ParseInt(value, &n)) f.SetMobilePlay(ToWordBool(n != 0));
        else return Fail("unknown field or bad value: " + args[i].toStdString());
    }
    f.SaveMediaFile(args[0]);
    return 0;
}

// Plays a clip or playlist to its end, printing each clip as it opens.
int Play(const QString& source, bool silent) {
    TPlaylistPlayer player;
    player.SetSilent(silent);
    player.PlayerSetSource(source);
    if (player.PlayerGetNumEntries() == 0) return Fail("nothing to play in " + source.toStdString());
    int failures = 0;
    QObject::connect(&player, &TPlaylistPlayer::OnClipOpened, [&](const QString& name, const QString&) {
        std::cout << player.PlayerGetCurrentEntry() << "\t" << name.toStdString() << std::endl;
    });
    QObject::connect(&player, &TPlaylistPlayer::ClipFailed, [&](const QString& url, const QString& reason) {
        ++failures;
        std::cerr << "vandrex-rm: cannot play " << url.toStdString() << ": " << reason.toStdString() << "\n";
    });
    QObject::connect(&player, &TPlaylistPlayer::PlaybackFinished, QCoreApplication::instance(), &QCoreApplication::quit,
                     Qt::QueuedConnection);
    player.PlayerPlay();
    QCoreApplication::exec();
    return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) return Usage();
    const QString verb = args.takeFirst();
    try {
        if (verb == "info" && args.size() == 1) return Info(args[0]);
        if (verb == "encode" && args.size() >= 2) return Encode(args);
        if (verb == "cut" && args.size() == 4) {
            int start = 0, end = 0;
            if (!ParseInt(args[2], &start) || !ParseInt(args[3], &end) || start < 0 || end < 0)
                return Fail("START_MS and END_MS must be whole milliseconds");
            TMediaFileEditor f(args[0]);
            f.SetStartTime(start);
            f.SetEndTime(end);
            f.SaveMediaFile(args[1]);
            return 0;
        }
        if (verb == "join" && args.size() == 3) {
            TMediaFileEditor f(args[0]);
            f.AppendMediaFile(args[1]);
            f.SaveMediaFile(args[2]);
            return 0;
        }
        if (verb == "tag" && args.size() >= 2) return Tag(args);
        if (verb == "play" && (args.size() == 1 || (args.size() == 2 && args[1] == "--silent")))
            return Play(args[0], args.size() == 2);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    return Usage();
}
