#include "resumption.h"

#include <QDateTime>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>

namespace {

// Ranges count the bytes as they are sent; in a compressed answer those are
// not the file's bytes.
bool isUncoded(const QNetworkReply &reply)
{
    const QByteArray coding = reply.rawHeader("Content-Encoding").trimmed();
    return coding.isEmpty() || coding.compare("identity", Qt::CaseInsensitive) == 0;
}

// A weak tag (W/"…") only promises an equivalent file, not the same bytes.
bool isStrongTag(const QByteArray &tag)
{
    return tag.size() >= 2 && tag.startsWith('"') && tag.endsWith('"');
}

// A file may change twice within the second its date names. A date that lay
// a minute or more before the answer was sent cannot hide that; a fresher
// one could, so it proves nothing (the rule HTTP sets for If-Range dates).
bool isStrongDate(const QByteArray &modified, const QByteArray &sent)
{
    const QDateTime changed = QDateTime::fromString(QString::fromLatin1(modified.trimmed()), Qt::RFC2822Date);
    const QDateTime answered = QDateTime::fromString(QString::fromLatin1(sent.trimmed()), Qt::RFC2822Date);
    return changed.isValid() && answered.isValid() && changed.secsTo(answered) >= 60;
}

qint64 number(const QString &digits)
{
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    return ok ? value : -1;
}

} // namespace

void Resumption::remember(const QNetworkReply &wholeFile)
{
    forget();
    if (!isUncoded(wholeFile))
        return;
    const QByteArray tag = wholeFile.rawHeader("ETag").trimmed();
    const QByteArray modified = wholeFile.rawHeader("Last-Modified");
    // A date may stand in only where the server gives no tag at all.
    if (!tag.isEmpty()) {
        if (isStrongTag(tag)) {
            validatorHeader = "ETag";
            validator = tag;
        }
    } else if (isStrongDate(modified, wholeFile.rawHeader("Date"))) {
        validatorHeader = "Last-Modified";
        validator = modified.trimmed();
    }
    const QVariant length = wholeFile.header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid())
        size = length.toLongLong();
}

void Resumption::forget()
{
    validatorHeader.clear();
    validator.clear();
    size = -1;
}

void Resumption::askForRest(QNetworkRequest &request, qint64 offset) const
{
    request.setRawHeader("Range", "bytes=" + QByteArray::number(offset) + '-');
    request.setRawHeader("If-Range", validator);
}

bool Resumption::continuesAt(const QNetworkReply &partial, qint64 offset) const
{
    // A partial answer must name its tag as the whole one would; a date it
    // may leave out, the server having compared it already.
    const QByteArray current = partial.rawHeader(validatorHeader).trimmed();
    if (current != validator && (validatorHeader == "ETag" || !current.isEmpty()))
        return false;
    if (!isUncoded(partial))
        return false;

    static const QRegularExpression form(QStringLiteral("^bytes (\\d+)-(\\d+)/(\\d+|\\*)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch range = form.match(QString::fromLatin1(partial.rawHeader("Content-Range").trimmed()));
    if (!range.hasMatch())
        return false;
    const qint64 first = number(range.captured(1));
    const qint64 last = number(range.captured(2));
    const bool totalGiven = range.captured(3) != QLatin1String("*");
    const qint64 total = totalGiven ? number(range.captured(3)) : size;
    if (first != offset || last < first || (totalGiven && total < 0) || (size >= 0 && total != size))
        return false;
    // Everything from the offset on was asked for, so the answer must reach
    // the end wherever the end is known.
    if (total >= 0 && last != total - 1)
        return false;
    const QVariant length = partial.header(QNetworkRequest::ContentLengthHeader);
    return !length.isValid() || length.toLongLong() == last - first + 1;
}
