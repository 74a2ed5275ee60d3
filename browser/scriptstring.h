#ifndef SCRIPTSTRING_H
#define SCRIPTSTRING_H

#include <QByteArray>
#include <QLatin1String>
#include <QString>

namespace ScriptString {

// A single-quoted script string literal that evaluates to exactly `text`.
// Nothing in `text` can end the literal or the surrounding script element:
// quotes, backslashes, line breaks (U+2028 and U+2029 included) and "<" are
// written as escapes.
QString literal(const QString &text);

// The same literal appended to `out`: answers can be many megabytes, and
// building the call in one string spares the page host copies of them.
void appendLiteral(QString &out, QLatin1String text);

// How many characters appendLiteral adds for `text`, quotes left out: what
// the answer costs once it is script, up to six characters a byte.
qint64 literalLength(QLatin1String text);

// A lookup answer as the page receives it: the bytes up to the first zero
// byte, each taken as the Latin-1 character of the same number.
QLatin1String answerView(const QByteArray &body);
QString answerText(const QByteArray &body);

} // namespace ScriptString

#endif // SCRIPTSTRING_H
