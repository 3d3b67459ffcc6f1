#pragma once
// Names of an upload: the remote file name stamped with date and time, the
// series name of a time-lapse run, the control's URL and the web address the
// mail points to.

#include <QDateTime>
#include <QLocale>
#include <QString>

#include "mail/mailmessage.h"

namespace vandrex {

inline const QString kNoWebAddress = QStringLiteral("No FTP Values : WebSite Address Unknown !");

// "Snapshot.gif", "Snapshot.jpg", "Audio.rm", "Video.rm".
QString LocalFileName(TMailChoice choice);
// "image/gif", "image/jpeg", "audio/vnd.rn-realaudio", "video/vnd.rn-realvideo".
QString UploadContentType(TMailChoice choice);

// short date + "_" + long time + "_" + local name, in the locale's formats;
// "/" of the date becomes "-" and the long time carries no time zone, so the
// name is one path segment without blanks from the zone.
QString StampedRemoteName(const QDateTime& now, const QString& localName,
                          const QLocale& locale = QLocale::system());

// The remote name of one upload: stamped, except during a time-lapse run,
// whose first upload's name is kept for the whole run.
class TSeriesName {
public:
    QString Next(bool timerLit, const QDateTime& now, const QString& localName,
                 const QLocale& locale = QLocale::system());
    // Starting the time-lapse timer begins a new series.
    void Reset() { fSeries = false; }
    bool InSeries() const { return fSeries; }
private:
    QString fName;
    bool fSeries = false;
};

// "ftp://" user ":" password "@" host ":" port "/" remote ";type= I". Holds the
// password: never shown or logged.
QString UploadUrl(const QString& user, const QString& password, const QString& host,
                  const QString& port, const QString& remote);
// "http://" host "/~" user "/", or kNoWebAddress when host or user is empty.
QString WebSiteAddress(const QString& host, const QString& user);
// The file's address in the page: web address + percent-encoded remote name.
QString FileUrl(const QString& webAddress, const QString& remoteName);

}  // namespace vandrex
