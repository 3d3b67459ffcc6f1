#pragma once
// The user's ~/.netrc: login and password for a host. The password is kept
// in memory only for the AUTH exchange; nothing here prints or logs it.

#include <QString>
#include <optional>

namespace vandrex {

struct TNetrcEntry {
    QString login;
    QString password;
};

// The entry of "machine <host>", else the "default" entry, else nothing.
// path empty: $HOME/.netrc. A missing or unreadable file has no entries.
std::optional<TNetrcEntry> FindNetrcEntry(const QString& host, const QString& path = {});
// The same, from the file's text.
std::optional<TNetrcEntry> ParseNetrc(const QString& text, const QString& host);

}  // namespace vandrex
