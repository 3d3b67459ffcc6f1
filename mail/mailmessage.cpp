#include "mail/mailmessage.h"

#include <QRegularExpression>
#include <QTimeZone>
#include <stdexcept>

#include "platform/codepage.h"
#include "platform/exceptions.h"

namespace vandrex {

QString MemoText(const QStringList& lines) { return lines.join(QStringLiteral("\r\n")); }

QStringList MemoLines(const QString& text) {
    if (text.isEmpty())
        return {};
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t.split(QLatin1Char('\n'));
}

quint32 SignatureChecksum(const QString& text) {
    quint32 sum = 0;
    const QList<uint> points = text.toUcs4();
    for (uint cp : points)
        sum += CodePointToAnsi(static_cast<char32_t>(cp));
    return sum;
}

QString MessageIdValue(int textLength) {
    return QStringLiteral("[i-mode_%1_Bytes]_ [%2]").arg(textLength).arg(kContactMailAddress);
}

QString SignatureValue(const QString& key, const QString& text) {
    return QStringLiteral("[") + key + QStringLiteral("] /") + QStringLiteral(" [CRC_") +
           QString::number(SignatureChecksum(text)) + QStringLiteral("]");
}

bool AddressInDomain(const QString& address, const QString& domain) {
    return address.contains(QStringLiteral("@") + domain, Qt::CaseSensitive);
}

QString ImodeRefusal(TMailChoice choice, const QString& address, TRefusalWording wording) {
    if (choice == TMailChoice::Gif || !AddressInDomain(address, kImodeMailDomain))
        return {};
    switch (choice) {
    case TMailChoice::Jpg:
        return wording == TRefusalWording::Login
                   ? QStringLiteral("Jpeg Pictures not Possible with i-mode !")
                   : QStringLiteral("Jpeg Pictures not possible with i-mode !");
    case TMailChoice::Audio:
        return QStringLiteral("RealAudio not Possible with i-mode !");
    case TMailChoice::Video:
        return QStringLiteral("RealVideo not Possible with i-mode !");
    case TMailChoice::Gif:
        break;
    }
    return {};
}

bool HasControlCharacters(const QString& text) {
    for (QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || u == 0x2028 || u == 0x2029)
            return true;
    }
    return false;
}

bool IsPlainAddrSpec(const QString& address) {
    // atext of RFC 5322 in dot-atoms on both sides; no quoted local parts,
    // no domain literals: nothing that needs quoting in a header or command.
    static const QRegularExpression re(QStringLiteral(
        "^[A-Za-z0-9!#$%&'*+/=?^_`{|}~-]+(\\.[A-Za-z0-9!#$%&'*+/=?^_`{|}~-]+)*"
        "@[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?(\\.[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?)*$"));
    return address.size() <= 254 && re.match(address).hasMatch();
}

QString CheckHeaderFields(const TMailFields& f) {
    if (HasControlCharacters(f.subject) || HasControlCharacters(f.key))
        return kUnsafeHeaderMessage;
    if (!f.recipient.isEmpty() && !IsPlainAddrSpec(f.recipient))
        return kUnsafeHeaderMessage;
    if (!IsPlainAddrSpec(f.sender))
        return kUnsafeHeaderMessage;
    return {};
}

THeaderList BuildHeaders(const TMailFields& f) {
    THeaderList h;
    h.append({QStringLiteral("To"), f.recipient});
    h.append({QStringLiteral("From"), f.sender});
    h.append({QStringLiteral("Subject"), f.sign ? QStringLiteral("~ ") + f.subject : f.subject});
    h.append({QStringLiteral("Message-Id"), MessageIdValue(int(f.text.size()))});
    h.append({QStringLiteral("Content-Type"), f.html ? kHtmlContentType : kPlainContentType});
    if (f.sign)
        h.append({QStringLiteral("Signature"), SignatureValue(f.key, f.text)});
    return h;
}

// ---- pages ---------------------------------------------------------------

namespace {

QStringList StyleLines(const QString& fontSize, const QString& fontColor) {
    return {QStringLiteral("<HTML>"),
            QStringLiteral("<HEAD>"),
            QStringLiteral("<STYLE>"),
            QStringLiteral("BODY {"),
            QStringLiteral("font-family: Arial;"),
            QStringLiteral("font-size: ") + fontSize + QStringLiteral("pt;"),
            QStringLiteral("color: ") + fontColor + QStringLiteral(";"),
            QStringLiteral("margin-left: 20px;"),
            QStringLiteral("margin-top: 36px;"),
            QStringLiteral("background-position: top left;"),
            QStringLiteral("background-repeat: no-repeat;"),
            QStringLiteral("}"),
            QStringLiteral("</STYLE>")};
}

struct TBox {
    int left, top;
};
struct TSize {
    int height, width;
};

struct TObjectSheet {
    const char* name;
    const char* picture;
    bool hasClip;
    TBox clipBox;
    TSize clip;
    const char* controls;
    bool hasPanel;
    TBox panelBox;
    TSize panel;
    TBox textBox;
};

// Sheets without a clip get a page of background and text (textBox only).
const TObjectSheet kSheets[] = {
    {"TV", "TV.gif", true, {62, 45}, {148, 200}, "ImageWindow", true, {62, 205}, {20, 200}, {24, 270}},
    {"16_9", "16_9.gif", true, {62, 45}, {148, 265}, "ImageWindow", true, {62, 205}, {20, 265}, {24, 270}},
    {"20_9", "20_9.gif", true, {62, 45}, {148, 333}, "ImageWindow", true, {62, 205}, {20, 333}, {24, 270}},
    {"DVD1", "DVD_4_3.gif", true, {64, 47}, {288, 384}, "ImageWindow", true, {129, 368}, {23, 258}, {24, 430}},
    {"DVD2", "DVD_16_9.gif", true, {64, 47}, {288, 512}, "ImageWindow", true, {191, 368}, {23, 258}, {24, 430}},
    {"DVD3", "DVD_20_9.gif", true, {64, 47}, {288, 640}, "ImageWindow", true, {255, 368}, {23, 258}, {24, 430}},
    {"Audio", "Audio.gif", true, {31, 28}, {24, 262}, "ControlPanel", false, {}, {}, {24, 80}},
    {"Cam", "Cam.gif", true, {62, 45}, {148, 200}, "ImageWindow", true, {62, 205}, {20, 200}, {24, 270}},
    {"Radio", "Radio.gif", true, {31, 28}, {24, 262}, "StatusBar", false, {}, {}, {24, 80}},
    {"Phone", "Phone.gif", false, {}, {}, "", false, {}, {}, {24, 80}},
    {"LP", "LP_Record.gif", false, {}, {}, "", false, {}, {}, {24, 80}},
    {"CD", "CD_Player.gif", false, {}, {}, "", false, {}, {}, {24, 80}},
    {"Crypt", "Crypted.gif", false, {}, {}, "", false, {}, {}, {24, 80}},
};

QString SpanLine(const QString& styleEq, TBox box) {
    return QStringLiteral("<SPAN ") + styleEq + QStringLiteral("\"POSITION: absolute; LEFT: %1px; TOP: %2px\"><P>")
                                                    .arg(box.left)
                                                    .arg(box.top);
}

QString ObjectLine(TSize size) {
    return QStringLiteral(
               "<OBJECT ID=video1 CLASSID=\"clsid:CFCDAA03-8BE4-11cf-B84B-0020AFBBCCFA\" HEIGHT=%1 WIDTH=%2>")
        .arg(size.height)
        .arg(size.width);
}

void AppendUserLines(QStringList& page, const QStringList& lines, bool firstBare) {
    for (int i = 0; i < lines.size(); ++i)
        page.append((i == 0 && firstBare) ? lines[i] : QStringLiteral("<BR>") + lines[i]);
}

int ParseInteger(const QString& text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok)
        throw EConvertError("'" + text.toStdString() + "' is not a valid integer value");
    return v;
}

}  // namespace

QStringList SimplePage(const TPageInput& in) {
    QStringList page;
    if (in.choice == TMailChoice::Gif) {
        page << QStringLiteral("<HTML>") << QStringLiteral("<HEAD>") << QStringLiteral("<TITLE>IMG</TITLE>")
             << QStringLiteral("</HEAD><BODY>")
             << QStringLiteral("<IMG SRC=\"") + in.fileUrl + QStringLiteral("\" align=\"top\">")
             << QStringLiteral("<BR clear=\"all\">");
        AppendUserLines(page, in.lines, true);
    } else {
        page = StyleLines(in.fontSize, in.fontColor);
        page << QStringLiteral("</HEAD><BODY BGCOLOR=#") + in.backgroundColor + QStringLiteral(">");
        switch (in.choice) {
        case TMailChoice::Jpg:
            page << QStringLiteral("<IMG SRC=\"") + in.fileUrl + QStringLiteral("\" Height=240 Width=320><BR>");
            break;
        case TMailChoice::Audio:
            page << QStringLiteral("<A HREF= \"") + in.fileUrl + QStringLiteral("\">RealAudio Message</A><BR>");
            break;
        case TMailChoice::Video:
            page << QStringLiteral("<A HREF= \"") + in.fileUrl + QStringLiteral("\">RealVideo Message</A><BR>");
            break;
        case TMailChoice::Gif:
            break;
        }
        page << QStringLiteral("<BR>");
        AppendUserLines(page, in.lines, false);
    }
    page << QStringLiteral("</BODY></HTML>");
    return page;
}

QString NormaliseFontSize(const QString& fontSize) {
    int v = ParseInteger(fontSize);
    if (v < 8)
        v = 8;
    else if (v > 24)
        v = 24;
    else if (v % 2 == 1)
        v -= 1;
    return QString::number(v);
}

QStringList ObjectPage(const TPageInput& in, const QString& sheetName) {
    const TObjectSheet* sheet = nullptr;
    for (const TObjectSheet& s : kSheets)
        if (sheetName == QLatin1String(s.name))
            sheet = &s;
    if (!sheet)
        throw std::invalid_argument("unknown object sheet " + sheetName.toStdString());

    QStringList page = StyleLines(NormaliseFontSize(in.fontSize), in.fontColor);
    page << QStringLiteral("</HEAD>");
    page << QStringLiteral("<BODY BGCOLOR=#") + in.backgroundColor + QStringLiteral(" background= \"") +
                kObjectPictureBase + QLatin1String(sheet->picture) + QStringLiteral("\">");
    const QString style = QStringLiteral("STYLE=");
    if (sheet->hasClip) {
        const QString c = QLatin1String(sheet->controls);
        const bool sized = sheetName != QLatin1String("Audio") && sheetName != QLatin1String("Radio");
        page << SpanLine(style, sheet->clipBox) << ObjectLine(sheet->clip)
             << QStringLiteral("<PARAM NAME=\"CONTROLS\" VALUE=\"") + c + QStringLiteral("\">")
             << QStringLiteral("<PARAM NAME=\"CONSOLE\" VALUE=\"Clip1\">")
             << QStringLiteral("<PARAM NAME=\"AUTOSTART\" VALUE=\"-1\">")
             << QStringLiteral("<PARAM NAME=\"SRC\" VALUE=\"") + in.fileUrl + QStringLiteral("\">");
        QString embed = QStringLiteral("<EMBED SRC=\"") + in.fileUrl + QStringLiteral("\"") +
                        QStringLiteral(" type=3D\"audio/x-pn-realaudio-plugin\" CONSOLE=3D\"Clip1\" CONTROLS=3D\"") +
                        c + QStringLiteral("\"");
        if (sized)
            embed += QStringLiteral(" HEIGHT=%1 WIDTH=%2").arg(sheet->clip.height).arg(sheet->clip.width);
        embed += QStringLiteral(" AUTOSTART=true>");
        page << embed << QStringLiteral("</OBJECT></P>") << QStringLiteral("</SPAN>");
    }
    if (sheet->hasPanel) {
        page << SpanLine(QStringLiteral("STYLE= "), sheet->panelBox) << ObjectLine(sheet->panel)
             << QStringLiteral("<PARAM NAME=\"CONTROLS\" VALUE=\"ControlPanel\">")
             << QStringLiteral("<PARAM NAME=\"CONSOLE\" VALUE=\"Clip1\">")
             << QStringLiteral("<EMBED type=\"audio/x-pn-realaudio-plugin\" CONSOLE=\"Clip1\" "
                               "CONTROLS=\"ControlPanel\" HEIGHT=%1 WIDTH=%2 AUTOSTART=true>")
                    .arg(sheet->panel.height)
                    .arg(sheet->panel.width)
             << QStringLiteral("</OBJECT></P>") << QStringLiteral("</SPAN>");
    }
    page << SpanLine(style, sheet->textBox);
    AppendUserLines(page, in.lines, false);
    page << QStringLiteral("</P></SPAN>") << QStringLiteral("</BODY>") << QStringLiteral("</HTML>");
    return page;
}

QString HtmlColorFromWindows(quint32 bbggrr) {
    const QString hex = QStringLiteral("%1").arg(bbggrr & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
    return hex.mid(4, 2) + hex.mid(2, 2) + hex.mid(0, 2);
}

int StepObjectSheet(int index, bool down) {
    if (down)
        return index < 12 ? index + 1 : index;
    return index > 0 ? index - 1 : index;
}

TComposedMail ComposeMail(const TSendInput& in) {
    TComposedMail mail;
    mail.headers = BuildHeaders(in.fields);
    if (in.fields.html) {
        TPageInput page = in.page;
        page.lines = MemoLines(in.fields.text);
        mail.body = MemoText(in.objectPage ? ObjectPage(page, in.sheet) : SimplePage(page));
    } else {
        mail.body = in.fields.text;
    }
    return mail;
}

// ---- wire ----------------------------------------------------------------

namespace {

bool IsAscii(const QString& s) {
    for (QChar c : s)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

bool IsLatin1(const QString& s) {
    for (QChar c : s)
        if (c.unicode() > 0xFF)
            return false;
    return true;
}

// RFC 2047 B-words of at most 75 characters, folded onto continuation lines.
QByteArray EncodedWords(const QString& value) {
    const bool latin1 = IsLatin1(value);
    const QByteArray prefix = latin1 ? "=?iso-8859-1?B?" : "=?utf-8?B?";
    QList<QByteArray> words;
    QByteArray chunk;
    const QList<uint> points = value.toUcs4();
    for (uint cp : points) {
        const QString ch = QString::fromUcs4(reinterpret_cast<const char32_t*>(&cp), 1);
        const QByteArray bytes = latin1 ? ch.toLatin1() : ch.toUtf8();
        if (chunk.size() + bytes.size() > 42) {  // 42 bytes -> 56 base64 characters
            words.append(prefix + chunk.toBase64() + "?=");
            chunk.clear();
        }
        chunk += bytes;
    }
    if (!chunk.isEmpty() || words.isEmpty())
        words.append(prefix + chunk.toBase64() + "?=");
    QByteArray out;
    for (int i = 0; i < words.size(); ++i) {
        if (i > 0)
            out += "\r\n ";
        out += words[i];
    }
    return out;
}

QByteArray HeaderValue(const QString& value) {
    return IsAscii(value) ? value.toLatin1() : EncodedWords(value);
}

QByteArray NormaliseLineEnds(const QByteArray& in) {
    // Copies runs between line ends in one piece: bodies are large and
    // nearly always CR LF already.
    QByteArray out;
    out.reserve(in.size() + in.size() / 32 + 2);
    const char* p = in.constData();
    const char* end = p + in.size();
    while (p < end) {
        const char* q = p;
        while (q < end && *q != '\r' && *q != '\n') ++q;
        out.append(p, q - p);
        if (q == end)
            break;
        out.append("\r\n", 2);
        p = (*q == '\r' && q + 1 < end && q[1] == '\n') ? q + 2 : q + 1;
    }
    return out;
}

}  // namespace

QByteArray EncodeQuotedPrintable(const QByteArray& bytes) {
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(bytes.size() + bytes.size() / 8 + 16);
    qsizetype start = 0;
    while (start <= bytes.size()) {
        qsizetype end = bytes.indexOf("\r\n", start);
        const bool last = end < 0;
        if (last)
            end = bytes.size();
        int column = 0;
        for (qsizetype i = start; i < end; ++i) {
            const unsigned char c = static_cast<unsigned char>(bytes[i]);
            const bool trailingBlank = (c == ' ' || c == '\t') && i + 1 == end;
            char piece[3];
            int n;
            if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !trailingBlank)) {
                piece[0] = char(c);
                n = 1;
            } else {
                piece[0] = '=';
                piece[1] = hex[c >> 4];
                piece[2] = hex[c & 15];
                n = 3;
            }
            // Keep room for the soft break "=" within 76 characters.
            if (column + n > 75) {
                out += "=\r\n";
                column = 0;
            }
            out.append(piece, n);
            column += n;
        }
        if (last)
            break;
        out += "\r\n";
        start = end + 2;
    }
    return out;
}

QByteArray DotStuff(const QByteArray& message) {
    QByteArray out;
    out.reserve(message.size() + 64);
    qsizetype start = 0;
    if (message.startsWith('.'))
        out += '.';
    for (;;) {
        const qsizetype hit = message.indexOf("\n.", start);
        if (hit < 0) {
            out.append(message.constData() + start, message.size() - start);
            return out;
        }
        out.append(message.constData() + start, hit + 1 - start);
        out += '.';
        start = hit + 1;
    }
}

QByteArray Rfc5322Date(const QDateTime& when) {
    static const char* days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = when.date();
    const QTime t = when.time();
    const int offset = when.offsetFromUtc() / 60;
    const int a = offset < 0 ? -offset : offset;
    return QStringLiteral("%1, %2 %3 %4 %5:%6:%7 %8%9%10")
        .arg(QLatin1String(days[d.dayOfWeek() - 1]))
        .arg(d.day(), 2, 10, QLatin1Char('0'))
        .arg(QLatin1String(months[d.month() - 1]))
        .arg(d.year())
        .arg(t.hour(), 2, 10, QLatin1Char('0'))
        .arg(t.minute(), 2, 10, QLatin1Char('0'))
        .arg(t.second(), 2, 10, QLatin1Char('0'))
        .arg(QLatin1Char(offset < 0 ? '-' : '+'))
        .arg(a / 60, 2, 10, QLatin1Char('0'))
        .arg(a % 60, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

namespace {

// Plain ASCII without NUL and with lines of at most 998 characters goes out
// as 7bit; anything else as quoted-printable.
bool SevenBitText(const QString& body) {
    qsizetype line = 0;
    for (QChar c : body) {
        const ushort u = c.unicode();
        if (u == '\r' || u == '\n') {
            line = 0;
            continue;
        }
        if (u >= 0x80 || u == 0 || ++line > 998)
            return false;
    }
    return true;
}

// A 7bit body in one pass: CR LF line ends, "." doubled at line starts when
// asked, CR LF after a last line without one. Large bodies pass here, so no
// intermediate copies.
void AppendSevenBit(QByteArray& out, const QString& body, bool dotStuff) {
    if (body.isEmpty())
        return;
    const qsizetype base = out.size();
    out.resize(base + 2 * body.size() + 2);  // untouched pages cost nothing
    char* w = out.data() + base;
    const QChar* p = body.constData();
    const QChar* const end = p + body.size();
    bool lineStart = true;
    while (p < end) {
        const ushort u = p->unicode();
        if (u == '\r' || u == '\n') {
            *w++ = '\r';
            *w++ = '\n';
            p += (u == '\r' && p + 1 < end && p[1].unicode() == '\n') ? 2 : 1;
            lineStart = true;
            continue;
        }
        if (lineStart && dotStuff && u == '.')
            *w++ = '.';
        *w++ = char(u);
        lineStart = false;
        ++p;
    }
    if (!lineStart) {
        *w++ = '\r';
        *w++ = '\n';
    }
    out.resize(w - out.constData());
}

QByteArray HeaderBlock(const THeaderList& headers, const QDateTime& now, bool latin1, bool quotedPrintable) {
    QByteArray out;
    for (const THeader& h : headers) {
        QString value = h.value;
        if (!latin1 && h.name.compare(QLatin1String("Content-Type"), Qt::CaseInsensitive) == 0)
            value.replace(QStringLiteral("iso-8859-1"), QStringLiteral("utf-8"));
        out += h.name.toLatin1() + ": " + HeaderValue(value) + "\r\n";
    }
    out += "Date: " + Rfc5322Date(now) + "\r\n";
    out += "MIME-Version: 1.0\r\n";
    out += quotedPrintable ? "Content-Transfer-Encoding: quoted-printable\r\n" : "Content-Transfer-Encoding: 7bit\r\n";
    out += "\r\n";
    return out;
}

QByteArray Render(const THeaderList& headers, const QString& body, const QDateTime& now, bool dotStuff) {
    if (SevenBitText(body)) {
        QByteArray out = HeaderBlock(headers, now, true, false);
        AppendSevenBit(out, body, dotStuff);
        return out;
    }
    const bool latin1 = IsLatin1(body);
    const QByteArray bodyBytes = NormaliseLineEnds(latin1 ? body.toLatin1() : body.toUtf8());
    QByteArray out = HeaderBlock(headers, now, latin1, true);
    out += EncodeQuotedPrintable(bodyBytes);
    if (!out.endsWith("\r\n"))
        out += "\r\n";
    // Header lines never start with "."; stuffing the whole text is safe.
    return dotStuff ? DotStuff(out) : out;
}

}  // namespace

QByteArray RenderMessage(const THeaderList& headers, const QString& body, const QDateTime& now) {
    return Render(headers, body, now, false);
}

QByteArray RenderSmtpData(const THeaderList& headers, const QString& body, const QDateTime& now) {
    return Render(headers, body, now, true);
}

}  // namespace vandrex
