#include "savepath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

// The reasons end up in the download window's refusal, so they are
// translated in its context.
struct Refusal
{
    Q_DECLARE_TR_FUNCTIONS(HttpWindow)
};

// Windows reads "c:name" relative to the current folder of drive c, so a
// drive prefix counts as absolute on every platform.
bool isAbsolute(const QString &name)
{
    const bool drivePrefix = name.size() >= 2 && name.at(0).isLetter() && name.at(1) == QLatin1Char(':');
    return drivePrefix || name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\'))
           || QDir::isAbsolutePath(name);
}

// Backslashes separate folders on Windows, and Windows drops trailing dots
// and blanks from a component, so ".. " and "..." are treated like "..".
bool climbsOut(const QString &name)
{
    static const QRegularExpression separators(QStringLiteral("[/\\\\]"));
    static const QRegularExpression dotsOnly(QStringLiteral("^[. ]*\\.[. ]*\\.[. ]*$"));
    const QStringList parts = name.split(separators);
    for (const QString &part : parts) {
        if (dotsOnly.match(part).hasMatch())
            return true;
    }
    return false;
}

// Where the download folder is the home folder itself, ".bashrc",
// ".ssh/authorized_keys" or ".config/autostart/x.desktop" would change how
// the user's programs run.
bool isHidden(const QString &name)
{
    static const QRegularExpression hiddenPart(QStringLiteral("(^|[/\\\\])\\."));
    return hiddenPart.match(name).hasMatch();
}

QString refusalFor(const QString &directory, const QString &name)
{
    if (name.contains(QChar::Null))
        return Refusal::tr("the name holds a NUL character");
    if (std::any_of(name.cbegin(), name.cend(), SavePath::disguises))
        return Refusal::tr("the name holds a line break, a control character or one that turns the direction of text");
    if (isAbsolute(name))
        return Refusal::tr("the name is an absolute path outside the download folder");
    if (climbsOut(name))
        return Refusal::tr("the name leads out of the download folder with \"..\"");
    if (isHidden(name))
        return Refusal::tr("the name holds a hidden file or folder (a part that begins with \".\")");
    QString windowsReading = name;
    windowsReading.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (QDir::cleanPath(directory + windowsReading) == QDir::cleanPath(directory))
        return Refusal::tr("the name does not name a file inside the download folder");
    return QString();
}

} // namespace

namespace SavePath {

bool disguises(QChar c)
{
    const ushort u = c.unicode();
    return c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line
           || c.category() == QChar::Separator_Paragraph || u == 0x061C || u == 0x200E || u == 0x200F
           || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}

QString shown(const QString &text)
{
    QString visible;
    visible.reserve(text.size());
    for (const QChar c : text) {
        if (disguises(c))
            visible += QStringLiteral("[U+%1]").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
        else
            visible += c;
    }
    return visible;
}

QString fallbackName()
{
    return QStringLiteral("index.html");
}

QString resolve(const QString &directory, const QString &fileName, QString *refusal)
{
    const QString name = fileName.isEmpty() ? fallbackName() : fileName;
    const QString reason = refusalFor(directory, name);
    if (refusal)
        *refusal = reason;
    return reason.isEmpty() ? directory + name : QString();
}

// Links come into download folders with extracted archives. Writing follows
// them, and so does the overwrite question, which would name the link and
// not the file really replaced.
QString linkRefusal(const QString &directory, const QString &path)
{
    const QFileInfo target(path);
    if (target.isSymLink())
        return Refusal::tr("the name is a symbolic link, which could lead anywhere");
    // A folder that does not resolve cannot be written into either; the
    // attempt says so.
    const QString root = QFileInfo(directory).canonicalFilePath();
    const QString folder = QFileInfo(target.absolutePath()).canonicalFilePath();
    if (root.isEmpty() || folder.isEmpty() || folder == root)
        return QString();
    if (!folder.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/')))
        return Refusal::tr("a folder on the way is a symbolic link that leads out of the download folder");
    return QString();
}

} // namespace SavePath
