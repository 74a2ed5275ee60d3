#include "ramplaylist.h"
#include "testenvironment.h"

#include <QBuffer>
#include <QTemporaryDir>

// RAM playlists as users and the page host write them.
class RamPlaylistTest : public QObject
{
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void crlfReadsLikeLf();
    void filesInOrderAndUnreadableSkipped();
    void binaryGarbageNeverCrashes();

private:
    QTemporaryDir dir;
    QString write(const QString &name, const QByteArray &content);
};

QString RamPlaylistTest::write(const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(content);
    return path;
}

void RamPlaylistTest::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("urls");
    QTest::newRow("blank line, spaces, two urls")
        << QByteArray("http://127.0.0.1/a.ogg\n\n   \n  http://127.0.0.1/b.ogg  \n")
        << QStringList{"http://127.0.0.1/a.ogg", "http://127.0.0.1/b.ogg"};
    QTest::newRow("last line without end")
        << QByteArray("file:///m/a.ogg\nfile:///m/b.ogg") << QStringList{"file:///m/a.ogg", "file:///m/b.ogg"};
    QTest::newRow("invalid lines skipped")
        << QByteArray("http://[::1\nhttp://127.0.0.1/ok.ogg\n%zz://x\n") << QStringList{"http://127.0.0.1/ok.ogg"};
    QTest::newRow("encoded bytes stay encoded")
        << QByteArray("http://127.0.0.1/my%20song.ogg\n") << QStringList{"http://127.0.0.1/my%20song.ogg"};
    QTest::newRow("tabs trimmed") << QByteArray("\thttp://127.0.0.1/t.ogg\t\n")
                                  << QStringList{"http://127.0.0.1/t.ogg"};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("only white space") << QByteArray(" \n\t\n\n") << QStringList{};
}

void RamPlaylistTest::read()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, urls);
    QBuffer buffer(&content);
    QVERIFY(buffer.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList got;
    for (const QUrl &url : RamPlaylist::read(buffer))
        got << QString::fromUtf8(url.toEncoded());
    QCOMPARE(got, urls);
}

void RamPlaylistTest::crlfReadsLikeLf()
{
    const QString lf = write(QStringLiteral("lf.ram"), "http://127.0.0.1/a.ogg\n\nhttp://127.0.0.1/b.ogg\n");
    const QString crlf = write(QStringLiteral("crlf.ram"), "http://127.0.0.1/a.ogg\r\n\r\nhttp://127.0.0.1/b.ogg\r\n");
    const QList<QUrl> fromLf = RamPlaylist::read(QStringList{lf});
    QCOMPARE(fromLf.size(), 2);
    QCOMPARE(RamPlaylist::read(QStringList{crlf}), fromLf);
}

void RamPlaylistTest::filesInOrderAndUnreadableSkipped()
{
    const QString first = write(QStringLiteral("one.ram"), "http://127.0.0.1/1.ogg\nhttp://127.0.0.1/2.ogg\n");
    const QString second = write(QStringLiteral("two.ram"), "http://127.0.0.1/3.ogg\n");
    const QList<QUrl> urls = RamPlaylist::read(QStringList{first, dir.filePath(QStringLiteral("missing.ram")), second});
    QCOMPARE(urls, (QList<QUrl>{QUrl("http://127.0.0.1/1.ogg"), QUrl("http://127.0.0.1/2.ogg"),
                                QUrl("http://127.0.0.1/3.ogg")}));
}

void RamPlaylistTest::binaryGarbageNeverCrashes()
{
    // Anything a user may pick in the file dialog must be read without harm;
    // whatever comes back must at least be valid.
    QRandomGenerator generator(4711);
    for (int round = 0; round < 200; ++round) {
        QByteArray content(generator.bounded(2000), Qt::Uninitialized);
        for (char &c : content)
            c = char(generator.bounded(256));
        QBuffer buffer(&content);
        QVERIFY(buffer.open(QIODevice::ReadOnly | QIODevice::Text));
        for (const QUrl &url : RamPlaylist::read(buffer))
            QVERIFY(url.isValid());
    }
}

MELODRIFT_TEST_MAIN(RamPlaylistTest)
#include "tst_ramplaylist.moc"
