#include "scriptstring.h"

namespace ScriptString {

namespace {

void appendUnicodeEscape(QString &out, ushort code)
{
    static const char hex[] = "0123456789abcdef";
    out += QLatin1String("\\u");
    for (int shift = 12; shift >= 0; shift -= 4)
        out += QLatin1Char(hex[(code >> shift) & 0xf]);
}

void appendEscaped(QString &out, ushort code)
{
    switch (code) {
    case '\\': out += QLatin1String("\\\\"); break;
    case '\'': out += QLatin1String("\\'"); break;
    case '"': out += QLatin1String("\\\""); break;
    case '\n': out += QLatin1String("\\n"); break;
    case '\r': out += QLatin1String("\\r"); break;
    case '\t': out += QLatin1String("\\t"); break;
    // "<" escaped keeps "</script>" and "<!--" from meaning anything to an HTML parser.
    case '<': appendUnicodeEscape(out, code); break;
    default:
        if (code < 0x20 || code == 0x7f || code == 0x2028 || code == 0x2029)
            appendUnicodeEscape(out, code);
        else
            out += QChar(code);
    }
}

int escapedSizeHint(int size)
{
    return size + size / 8 + 2;
}

} // namespace

QString literal(const QString &text)
{
    QString out;
    out.reserve(escapedSizeHint(text.size()));
    out += QLatin1Char('\'');
    for (const QChar c : text)
        appendEscaped(out, c.unicode());
    out += QLatin1Char('\'');
    return out;
}

void appendLiteral(QString &out, QLatin1String text)
{
    out.reserve(out.size() + escapedSizeHint(text.size()));
    out += QLatin1Char('\'');
    for (const char c : text)
        appendEscaped(out, static_cast<uchar>(c));
    out += QLatin1Char('\'');
}

QLatin1String answerView(const QByteArray &body)
{
    const int end = body.indexOf('\0');
    return QLatin1String(body.constData(), end < 0 ? body.size() : end);
}

QString answerText(const QByteArray &body)
{
    return QString(answerView(body));
}

} // namespace ScriptString
