#pragma once
// RealMedia playlists (.ram): one entry per line, "File:///" + a name
// relative to the playlist's folder, a plain name (relative to that folder
// unless absolute), or an URL (http, https, rtsp, pnm). Blank lines and lines
// starting with "#" are skipped; CR LF and LF line ends both read.

#include <QString>
#include <QStringList>

namespace vandrex {

// The entries of a playlist text, as local paths or URLs.
QStringList ParseRamPlaylist(const QString& text, const QString& folder);
// Reads a playlist file; throws EInOutError when it cannot be read.
QStringList ReadRamPlaylist(const QString& path);
bool IsUrl(const QString& entry);

}  // namespace vandrex
