#include "scriptstring.h"

#include <array>

namespace ScriptString {

namespace {

void appendUnicodeEscape(QString &out, ushort code)
{
    static const char hex[] = "0123456789abcdef";
    out += QLatin1String("\\u");
    for (int shift = 12; shift >= 0; shift -= 4)
        out += QLatin1Char(hex[(code >> shift) & 0xf]);
}

// The two-character escape of the code units that have one; the others that
// need escaping ("<" among them, which keeps "</script>" and "<!--" from
// meaning anything to an HTML parser) are written as \uXXXX.
QLatin1String shortEscape(ushort code)
{
    switch (code) {
    case '\\':
        return QLatin1String("\\\\");
    case '\'':
        return QLatin1String("\\'");
    case '"':
        return QLatin1String("\\\"");
    case '\n':
        return QLatin1String("\\n");
    case '\r':
        return QLatin1String("\\r");
    case '\t':
        return QLatin1String("\\t");
    default:
        return QLatin1String();
    }
}

void appendEscaped(QString &out, ushort code)
{
    const QLatin1String escape = shortEscape(code);
    if (escape.isEmpty())
        appendUnicodeEscape(out, code);
    else
        out += escape;
}

// Whether a code unit is written as an escape: the ASCII ones appendEscaped
// handles, and the two line breaks beyond ASCII.
bool needsEscape(ushort code)
{
    static const auto asciiTable = [] {
        std::array<bool, 0x80> table{};
        for (int code = 0; code < 0x20; ++code)
            table[code] = true;
        for (const char c : {'\\', '\'', '"', '<', '\x7f'})
            table[uchar(c)] = true;
        return table;
    }();
    return code < 0x80 ? asciiTable[code] : (code == 0x2028 || code == 0x2029);
}

void appendPlain(QString &out, const char *begin, const char *end)
{
    out.append(QLatin1String(begin, int(end - begin)));
}

void appendPlain(QString &out, const QChar *begin, const QChar *end)
{
    out.append(begin, int(end - begin));
}

ushort codeOf(char c)
{
    return static_cast<uchar>(c);
}

ushort codeOf(QChar c)
{
    return c.unicode();
}

// Answers are mostly plain text: the runs between escapes are copied whole,
// which for Latin-1 is Qt's vectorised conversion, not a call per character.
template <typename Char>
void appendQuoted(QString &out, const Char *p, const Char *end)
{
    // Callers that know the escaped length have reserved it already.
    if (out.capacity() - out.size() < int(end - p) + 2)
        out.reserve(out.size() + int(end - p) + int(end - p) / 8 + 2);
    out += QLatin1Char('\'');
    while (p != end) {
        const Char *run = p;
        while (p != end && !needsEscape(codeOf(*p)))
            ++p;
        appendPlain(out, run, p);
        if (p != end)
            appendEscaped(out, codeOf(*p++));
    }
    out += QLatin1Char('\'');
}

} // namespace

QString literal(const QString &text)
{
    QString out;
    appendQuoted(out, text.constData(), text.constData() + text.size());
    return out;
}

void appendLiteral(QString &out, QLatin1String text)
{
    appendQuoted(out, text.data(), text.data() + text.size());
}

qint64 literalLength(QLatin1String text)
{
    qint64 length = 0;
    for (const char c : text) {
        const ushort code = codeOf(c);
        if (!needsEscape(code))
            length += 1;
        else
            length += shortEscape(code).isEmpty() ? 6 : 2;
    }
    return length;
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
