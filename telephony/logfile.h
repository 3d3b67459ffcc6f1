#pragma once
// TLogFile: the direct-access script's log, kept as lines in memory and
// written out as a whole.

#include <QString>
#include <QStringList>

namespace vandrex {

class TLogFile {
public:
    // "<date> <time> - message: data", or "<date> <time> - message" with
    // empty data; the locale's short date and time with seconds.
    void AddLine(const QString& message, const QString& data);
    // Writes the lines, CR LF after each, replacing the file. Raises
    // EInOutError when the file cannot be written.
    void SaveLog(const QString& fileName) const;
    const QStringList& Lines() const { return lines_; }
    // The time stamp AddLine puts in front, for the current moment.
    static QString Stamp();

private:
    QStringList lines_;
};

}  // namespace vandrex
