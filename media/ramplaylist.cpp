#include "media/ramplaylist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/exceptions.h"

namespace vandrex {

bool IsUrl(const QString& e) {
    for (const char* scheme : {"http://", "https://", "rtsp://", "pnm://"})
        if (e.startsWith(QLatin1String(scheme), Qt::CaseInsensitive)) return true;
    return false;
}

QStringList ParseRamPlaylist(const QString& text, const QString& folder) {
    QStringList entries;
    const QDir dir(folder);
    for (QString line : text.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (IsUrl(line)) {
            entries << line;
            continue;
        }
        QString name = line;
        if (name.startsWith("File:///", Qt::CaseInsensitive)) name = name.mid(8);
        name.replace('\\', '/');
        entries << (QDir::isAbsolutePath(name) ? QDir::cleanPath(name) : QDir::cleanPath(dir.filePath(name)));
    }
    return entries;
}

QStringList ReadRamPlaylist(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) throw EInOutError(("Cannot read " + path + ": " + f.errorString()).toStdString());
    // Playlists are small; a huge file is not one.
    const QByteArray data = f.read(1 << 20);
    return ParseRamPlaylist(QString::fromUtf8(data), QFileInfo(path).absolutePath());
}

}  // namespace vandrex
