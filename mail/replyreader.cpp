#include "mail/replyreader.h"

namespace vandrex {

namespace {
int CodeOf(const QByteArray& line) {
    if (line.size() < 3)
        return -1;
    for (int i = 0; i < 3; ++i)
        if (line[i] < '0' || line[i] > '9')
            return -1;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}
}  // namespace

std::optional<TServerReply> TReplyReader::Next() {
    while (!fMalformed) {
        const qsizetype eol = fBuffer.indexOf('\n');
        if (eol < 0) {
            if (fBuffer.size() > kMaxLine)
                fMalformed = true;
            return std::nullopt;
        }
        QByteArray line = fBuffer.left(eol);
        fBuffer.remove(0, eol + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > kMaxLine || fLines.size() >= kMaxLines) {
            fMalformed = true;
            return std::nullopt;
        }
        const int code = CodeOf(line);
        const char sep = line.size() > 3 ? line[3] : ' ';
        if (fCode == 0) {
            // First line of a reply.
            if (code < 100 || (sep != ' ' && sep != '-')) {
                fMalformed = true;
                return std::nullopt;
            }
            fLines.append(QString::fromUtf8(line.mid(4)));
            if (sep == '-') {
                fCode = code;
                continue;
            }
            TServerReply reply{code, fLines};
            fLines.clear();
            return reply;
        }
        // Inside a multi-line reply: only "ddd " with the same code ends it.
        if (code == fCode && sep == ' ') {
            fLines.append(QString::fromUtf8(line.mid(4)));
            TServerReply reply{fCode, fLines};
            fLines.clear();
            fCode = 0;
            return reply;
        }
        fLines.append(QString::fromUtf8(code == fCode && sep == '-' ? line.mid(4) : line));
    }
    return std::nullopt;
}

}  // namespace vandrex
