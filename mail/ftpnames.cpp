#include "mail/ftpnames.h"

#include <QRegularExpression>
#include <QUrl>

namespace vandrex {

QString LocalFileName(TMailChoice choice) {
    switch (choice) {
    case TMailChoice::Gif: return QStringLiteral("Snapshot.gif");
    case TMailChoice::Jpg: return QStringLiteral("Snapshot.jpg");
    case TMailChoice::Audio: return QStringLiteral("Audio.rm");
    case TMailChoice::Video: return QStringLiteral("Video.rm");
    }
    return {};
}

QString UploadContentType(TMailChoice choice) {
    switch (choice) {
    case TMailChoice::Gif: return QStringLiteral("image/gif");
    case TMailChoice::Jpg: return QStringLiteral("image/jpeg");
    case TMailChoice::Audio: return QStringLiteral("audio/vnd.rn-realaudio");
    case TMailChoice::Video: return QStringLiteral("video/vnd.rn-realvideo");
    }
    return {};
}

QString StampedRemoteName(const QDateTime& now, const QString& localName, const QLocale& locale) {
    QString date = locale.toString(now.date(), QLocale::ShortFormat);
    date.replace(QLatin1Char('/'), QLatin1Char('-'));
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    // Drop the zone ("t", "tt", "ttt", "tttt") and the blanks around it.
    timeFormat.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    QString time = locale.toString(now.time(), timeFormat.trimmed());
    time.replace(QLatin1Char('/'), QLatin1Char('-'));
    return date + QStringLiteral("_") + time + QStringLiteral("_") + localName;
}

QString TSeriesName::Next(bool timerLit, const QDateTime& now, const QString& localName,
                          const QLocale& locale) {
    if (timerLit && fSeries)
        return fName;
    const QString name = StampedRemoteName(now, localName, locale);
    if (timerLit) {
        fName = name;
        fSeries = true;
    }
    return name;
}

QString UploadUrl(const QString& user, const QString& password, const QString& host,
                  const QString& port, const QString& remote) {
    return QStringLiteral("ftp://") + user + QStringLiteral(":") + password + QStringLiteral("@") + host +
           QStringLiteral(":") + port + QStringLiteral("/") + remote + QStringLiteral(";type= I");
}

QString WebSiteAddress(const QString& host, const QString& user) {
    if (host.isEmpty() || user.isEmpty())
        return kNoWebAddress;
    return QStringLiteral("http://") + host + QStringLiteral("/~") + user + QStringLiteral("/");
}

QString FileUrl(const QString& webAddress, const QString& remoteName) {
    return webAddress + QString::fromLatin1(QUrl::toPercentEncoding(remoteName));
}

}  // namespace vandrex
