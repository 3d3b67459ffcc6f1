#include "mail/netrc.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace vandrex {

std::optional<TNetrcEntry> ParseNetrc(const QString& text, const QString& host) {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList tokens = text.split(blanks, Qt::SkipEmptyParts);
    std::optional<TNetrcEntry> match, fallback;
    std::optional<TNetrcEntry>* current = nullptr;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const QString& t = tokens[i];
        const bool hasArg = i + 1 < tokens.size();
        if (t == QLatin1String("machine") && hasArg) {
            const QString name = tokens[++i];
            if (name.compare(host, Qt::CaseInsensitive) == 0 && !match) {
                match = TNetrcEntry{};
                current = &match;
            } else {
                current = nullptr;
            }
        } else if (t == QLatin1String("default")) {
            if (!fallback) {
                fallback = TNetrcEntry{};
                current = &fallback;
            } else {
                current = nullptr;
            }
        } else if (t == QLatin1String("login") && hasArg) {
            const QString v = tokens[++i];
            if (current) (*current)->login = v;
        } else if (t == QLatin1String("password") && hasArg) {
            const QString v = tokens[++i];
            if (current) (*current)->password = v;
        } else if ((t == QLatin1String("account") || t == QLatin1String("port")) && hasArg) {
            ++i;
        } else if (t == QLatin1String("macdef")) {
            // A macro runs to the next blank line; not needed for mail.
            current = nullptr;
        }
    }
    return match ? match : fallback;
}

std::optional<TNetrcEntry> FindNetrcEntry(const QString& host, const QString& path) {
    QFile file(path.isEmpty() ? QDir::homePath() + QStringLiteral("/.netrc") : path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return ParseNetrc(QString::fromUtf8(file.readAll()), host);
}

}  // namespace vandrex
