#include "testmedia.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

namespace {
QString run(const QString &program, const QStringList &arguments, const QString &output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0
        || !QFile::exists(output)) {
        qWarning("%s failed: %s", qPrintable(program), process.readAll().constData());
        return QString();
    }
    return output;
}
} // namespace

namespace TestMedia {

QString song(const QString &dir, const QString &name, double seconds, const QString &title, const QString &artist)
{
    const QString path = QDir(dir).absoluteFilePath(name);
    QStringList arguments{QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"),
                          QStringLiteral("2")};
    QStringList comments;
    if (!title.isEmpty())
        comments << QStringLiteral("TITLE=") + title;
    if (!artist.isEmpty())
        comments << QStringLiteral("ARTIST=") + artist;
    for (int i = 0; i < comments.size(); ++i)
        arguments << (i == 0 ? QStringLiteral("--comment") : QStringLiteral("--add-comment")) << comments.at(i);
    if (comments.isEmpty())
        arguments << QStringLiteral("--comment") << QString();
    arguments << path << QStringLiteral("synth") << QString::number(seconds) << QStringLiteral("sine")
              << QStringLiteral("440");
    return run(QStringLiteral("sox"), arguments, path);
}

QString video(const QString &dir, const QString &name, int frames, bool sound)
{
    const QString path = QDir(dir).absoluteFilePath(name);
    // 1470 samples at 44100 Hz last one frame.
    const QString tone =
        QStringLiteral(
            "audiotestsrc num-buffers=%1 samplesperbuffer=1470 ! audio/x-raw,rate=44100,channels=2 ! audioconvert ! "
            "vorbisenc ! queue ! mux. ")
            .arg(frames);
    const QString pipeline =
        QStringLiteral(
            "videotestsrc num-buffers=%1 ! video/x-raw,width=160,height=120,framerate=30/1 ! theoraenc ! queue ! mux. "
            "%2oggmux name=mux ! filesink location=%3")
            .arg(frames)
            .arg(sound ? tone : QString(), path);
    return run(QStringLiteral("gst-launch-1.0"), QStringList{QStringLiteral("-q")} + pipeline.split(QLatin1Char(' ')),
               path);
}

QString noise(const QString &dir, const QString &name, int bytes)
{
    const QString path = QDir(dir).absoluteFilePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    QByteArray data(bytes, Qt::Uninitialized);
    for (char &c : data)
        c = char(QRandomGenerator::global()->bounded(256));
    // Never let it start like a real container.
    data[0] = 'X';
    file.write(data);
    return path;
}

} // namespace TestMedia
