#include "mediatext.h"

#include <QCoreApplication>
#include <QUrl>

#include <phonon/MediaSource>

namespace {
// The information screen is the player's, and so are its words.
struct Words
{
    Q_DECLARE_TR_FUNCTIONS(MediaPlayer)
};

const int maxNameLength = 30;
const int maxTitleLength = 256;
const QString highlight = QStringLiteral("<font color=#ffeeaa>");

QString clock(qint64 ms, bool withHours)
{
    const qint64 seconds = ms / 1000;
    const qint64 minutes = seconds / 60;
    const qint64 hours = minutes / 60;
    const QChar zero(QLatin1Char('0'));
    if (withHours)
        return QStringLiteral("%1:%2:%3").arg(hours).arg(minutes % 60, 2, 10, zero).arg(seconds % 60, 2, 10, zero);
    return QStringLiteral("%1:%2").arg(minutes).arg(seconds % 60, 2, 10, zero);
}

QString afterLastSlash(const QString &text)
{
    return text.mid(text.lastIndexOf(QLatin1Char('/')) + 1);
}
} // namespace

namespace MediaText {

QString cut(const QString &text)
{
    if (text.length() <= maxNameLength)
        return text;
    return text.left(maxNameLength) + QStringLiteral("...");
}

QString title(const QString &text)
{
    if (text.length() <= maxTitleLength)
        return text;
    int kept = maxTitleLength - 1;
    // Never half a character outside the Basic Multilingual Plane.
    if (text.at(kept - 1).isHighSurrogate())
        --kept;
    return text.left(kept) + QChar(0x2026);
}

QString locationTitle(const QString &location)
{
    const QUrl url(location);
    const QString shown = url.userInfo().isEmpty() ? location : url.toString(QUrl::RemoveUserInfo);
    return title(shown.mid(shown.lastIndexOf(QLatin1Char('/')) + 1));
}

QString timeText(qint64 position, qint64 length)
{
    // Back ends report an unknown length as -1.
    position = qMax<qint64>(position, 0);
    length = qMax<qint64>(length, 0);
    if (position == 0 && length == 0)
        return QString();
    const bool withHours = length / 3600000 > 0;
    QString text = clock(position, withHours);
    if (length != 0)
        text += QStringLiteral(" / ") + clock(length, withHours);
    return text;
}

QString bufferText(int percent)
{
    if (percent == 100)
        return QString();
    return QString::fromLatin1("(%1%)").arg(percent);
}

QString sourceName(const Phonon::MediaSource &source)
{
    if (source.type() == Phonon::MediaSource::Url)
        return title(source.url().toString(QUrl::RemoveUserInfo));
    return cut(afterLastSlash(source.fileName()));
}

QString infoText(const QMultiMap<QString, QString> &metaData, const Phonon::MediaSource &source, const QString &message)
{
    // Tags, names and messages come from the media, the page and the back
    // end: shown as text, inside the screen's own markup.
    const QString artist = cut(metaData.value(QStringLiteral("ARTIST"))).toHtmlEscaped();
    const QString title = metaData.value(QStringLiteral("TITLE"));
    const int bitrate = metaData.value(QStringLiteral("BITRATE")).toInt();
    const QString name = sourceName(source);

    QString text;
    if (!title.isEmpty()) {
        text += Words::tr("Title: ") + highlight + cut(title).toHtmlEscaped() + QStringLiteral("<br></font>");
    } else if (!name.isEmpty()) {
        const bool isUrl = source.type() == Phonon::MediaSource::Url;
        text += (isUrl ? Words::tr("Url: ") : Words::tr("File: ")) + highlight + cut(name).toHtmlEscaped()
                + QStringLiteral("</font>");
    }
    if (!artist.isEmpty())
        text += Words::tr("Artist:  ") + highlight + artist + QStringLiteral("</font>");
    if (bitrate != 0)
        text += QStringLiteral("<br>") + Words::tr("Bitrate:  ") + highlight + QString::number(bitrate / 1000)
                + QStringLiteral("kbit</font>");
    if (!message.isEmpty())
        text += QStringLiteral("<br>") + Words::tr("Message:  ") + highlight + message.toHtmlEscaped()
                + QStringLiteral("</font>");
    return text;
}

} // namespace MediaText
