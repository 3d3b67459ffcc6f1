#include "telephony/logfile.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>

#include "platform/exceptions.h"

namespace vandrex {

QString TLogFile::Stamp() {
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    // The locale's long time without the zone name: hours, minutes, seconds.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b\\s*")));
    return locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(now.time(), timeFormat.trimmed());
}

void TLogFile::AddLine(const QString& message, const QString& data) {
    QString line = Stamp() + QStringLiteral(" - ") + message;
    if (!data.isEmpty()) line += QStringLiteral(": ") + data;
    lines_ << line;
}

void TLogFile::SaveLog(const QString& fileName) const {
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw EInOutError(file.errorString().toStdString());
    for (const QString& line : lines_) {
        const QByteArray bytes = line.toLocal8Bit() + "\r\n";
        if (file.write(bytes) != bytes.size()) throw EInOutError(file.errorString().toStdString());
    }
    if (!file.flush()) throw EInOutError(file.errorString().toStdString());
}

}  // namespace vandrex
