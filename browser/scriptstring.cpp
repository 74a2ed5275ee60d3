#include "scriptstring.h"

namespace ScriptString {

namespace {
void appendUnicodeEscape(QString &out, ushort code)
{
    out += QStringLiteral("\\u") + QStringLiteral("%1").arg(code, 4, 16, QLatin1Char('0'));
}
} // namespace

QString literal(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8 + 2);
    out += QLatin1Char('\'');
    for (const QChar c : text) {
        const ushort code = c.unicode();
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
                out += c;
        }
    }
    out += QLatin1Char('\'');
    return out;
}

QString answerText(const QByteArray &body)
{
    const int end = body.indexOf('\0');
    return QString::fromLatin1(end < 0 ? body : body.left(end));
}

} // namespace ScriptString
