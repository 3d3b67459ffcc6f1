#pragma once
// Replies of line-based Internet servers (SMTP, FTP): "ddd text" or a
// multi-line "ddd-first" ... "ddd last". Shared by the SMTP and FTP controls.
// Hostile peers are bounded: a line over kMaxLine bytes or a reply over
// kMaxLines lines is a protocol error, not unbounded memory.

#include <QByteArray>
#include <QStringList>
#include <optional>

namespace vandrex {

struct TServerReply {
    int code = 0;
    QStringList lines;  // the texts after "ddd " / "ddd-", in order
    QString text() const { return lines.join(QLatin1Char(' ')); }
};

class TReplyReader {
public:
    static constexpr int kMaxLine = 8192;
    static constexpr int kMaxLines = 500;

    // Appends received bytes.
    void Feed(const QByteArray& bytes) { fBuffer += bytes; }
    // The next complete reply, if one has arrived. Sets Malformed() on a
    // line that breaks the grammar or the bounds.
    std::optional<TServerReply> Next();
    bool Malformed() const { return fMalformed; }
    bool HasPending() const { return !fBuffer.isEmpty() || !fLines.isEmpty(); }
    void Clear() { fBuffer.clear(); fLines.clear(); fCode = 0; fMalformed = false; }
private:
    QByteArray fBuffer;
    QStringList fLines;
    int fCode = 0;
    bool fMalformed = false;
};

}  // namespace vandrex
