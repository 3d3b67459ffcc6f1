#pragma once
// The mail the program sends, without widgets: the header list of a Send,
// the i-mode rules, the two HTML page builders and the bytes that go on the
// wire after DATA.
//
// Texts are QStrings as the edits hold them. A memo's text is its lines
// joined by CR LF; lengths count characters of that text and the signature
// checksum sums its Windows-1252 bytes.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace vandrex {

// The picture/clip radio group of the mail panel.
enum class TMailChoice { Gif, Jpg, Audio, Video };

// i-mode handsets receive mail at this domain; their addresses get GIF only.
inline const QString kImodeMailDomain = QStringLiteral("docomo.ne.jp");
// The contact address carried inside every Message-Id.
inline const QString kContactMailAddress = QStringLiteral("contact@vandrex.invalid");
// Where the background pictures of the object sheets are published.
inline const QString kObjectPictureBase = QStringLiteral("http://www.vandrex.invalid/objects/");

inline const QString kHtmlContentType = QStringLiteral("text/html; charset=iso-8859-1");
inline const QString kPlainContentType = QStringLiteral("text/plain; charset=\"iso-8859-1\"");

// Shown when a subject, key or address would break the header block or the
// SMTP commands; nothing is sent.
inline const QString kUnsafeHeaderMessage =
    QStringLiteral("INVALID CHARACTERS IN ADDRESS, SUBJECT OR KEY !");

struct THeader {
    QString name;
    QString value;
    bool operator==(const THeader&) const = default;
};
using THeaderList = QList<THeader>;

// The memo text of lines (CR LF between lines, none after the last).
QString MemoText(const QStringList& lines);
// The lines of a memo text; an empty text has no lines. CR LF, LF and CR end
// a line.
QStringList MemoLines(const QString& text);

// Sum of the Windows-1252 byte values of the text (characters the code page
// lacks count as '?').
quint32 SignatureChecksum(const QString& text);
// "[i-mode_<length>_Bytes]_ [<contact>]".
QString MessageIdValue(int textLength);
// "[" key "] / [CRC_" checksum "]".
QString SignatureValue(const QString& key, const QString& text);

// True when the address contains "@" + domain (case-sensitive substring).
bool AddressInDomain(const QString& address, const QString& domain);
// The refusal text for sending this choice to an i-mode address, or an empty
// text when allowed. Login and upload spell the JPEG refusal differently.
enum class TRefusalWording { Login, Upload };
QString ImodeRefusal(TMailChoice choice, const QString& address, TRefusalWording wording);

// A plain mailbox address (local@domain, dot-atoms, no blanks, no controls, no
// brackets or comments), the only form put into headers and RCPT TO.
bool IsPlainAddrSpec(const QString& address);
// True when the text holds CR, LF or another control character.
bool HasControlCharacters(const QString& text);

struct TMailFields {
    QString recipient;   // Edit10 / RecipientAddress
    QString sender;      // SenderAddress
    QString subject;     // Onderwerp
    QString text;        // MailSheet's memo text
    QString key;         // Key
    bool sign = false;   // CheckBox2
    bool html = false;   // LED_i_modeGIF lit
};

// kUnsafeHeaderMessage when recipient, sender, subject or key is unsafe for
// the header block, else an empty text. An empty recipient is not judged here.
QString CheckHeaderFields(const TMailFields& fields);
// To, From, Subject, Message-Id, Content-Type and, signing, Signature.
THeaderList BuildHeaders(const TMailFields& fields);

// Inputs of the page builders.
struct TPageInput {
    QStringList lines;          // MailSheet's lines
    TMailChoice choice = TMailChoice::Audio;
    QString fontSize = QStringLiteral("12");
    QString fontColor = QStringLiteral("000000");
    QString backgroundColor = QStringLiteral("FFFFFF");
    QString fileUrl;            // web address + percent-encoded remote name
};

// The simple page for the radio group's choice.
QStringList SimplePage(const TPageInput& input);
// The object page for one of the thirteen sheet names. Throws EConvertError
// when the font size is not a number, std::invalid_argument for an unknown
// sheet.
QStringList ObjectPage(const TPageInput& input, const QString& sheet);
// Font size of the object page: odd sizes down to the even one, within 8..24.
QString NormaliseFontSize(const QString& fontSize);
// The colour dialog's result as RRGGBB from the Windows value 0x00BBGGRR.
QString HtmlColorFromWindows(quint32 bbggrr);
// Object sheet index after an ObjectUpDown click (down +1, up -1, 0..12).
int StepObjectSheet(int index, bool down);

// What SendBtnClick hands to the SMTP control: the header list and the body
// (the HTML page's memo text when html is set, else the plain text).
struct TSendInput {
    TMailFields fields;
    TPageInput page;           // lines are taken from fields.text
    bool objectPage = false;   // ObjectCheckBox
    QString sheet;             // ObjectRichEdit
};
struct TComposedMail {
    THeaderList headers;
    QString body;
};
// Throws EConvertError for a font size that is not a number (object page).
TComposedMail ComposeMail(const TSendInput& input);

// The message after DATA, before dot-stuffing: the header list in order,
// then Date, MIME-Version and Content-Transfer-Encoding, a blank line and
// the body with CR LF line ends. Non-ASCII header values become RFC 2047
// words; the body is 7bit when plain ASCII with short lines, else
// quoted-printable; utf-8 replaces iso-8859-1 only for text outside Latin-1.
QByteArray RenderMessage(const THeaderList& headers, const QString& body, const QDateTime& now);

// RenderMessage with SMTP's dot-stuffing applied, in one pass for 7bit
// bodies; what goes out after DATA (the final "." line excluded).
QByteArray RenderSmtpData(const THeaderList& headers, const QString& body, const QDateTime& now);

// Quoted-printable of CR LF separated bytes, lines at most 76 characters.
QByteArray EncodeQuotedPrintable(const QByteArray& bytes);
// SMTP transparency: an extra "." before every line that starts with ".".
QByteArray DotStuff(const QByteArray& message);
// "Tue, 08 Dec 2026 13:28:15 +0000".
QByteArray Rfc5322Date(const QDateTime& when);

}  // namespace vandrex
