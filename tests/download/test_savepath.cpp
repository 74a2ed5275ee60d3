#include "savepath.h"

#include <QDir>
#include <QRandomGenerator>
#include <QtTest>

// File names come from the chart page; none that is accepted may lead outside
// the download directory, whichever separator the platform reads.
class TestSavePath : public QObject
{
    Q_OBJECT

private slots:
    void acceptsNamesInsideTheDirectory_data();
    void acceptsNamesInsideTheDirectory();
    void refusesNamesLeavingTheDirectory_data();
    void refusesNamesLeavingTheDirectory();
    void noAcceptedNameResolvesOutside();

private:
    const QString directory = QStringLiteral("/tmp/melodrift-downloads/");
};

namespace {
bool staysInside(const QString &directory, const QString &path)
{
    const QString root = QDir::cleanPath(directory) + QLatin1Char('/');
    QString windowsReading = path;
    windowsReading.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(path).startsWith(root) && QDir::cleanPath(windowsReading).startsWith(root);
}
} // namespace

void TestSavePath::acceptsNamesInsideTheDirectory_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "song.mp3"
                           << "song.mp3";
    QTest::newRow("subfolder") << "a/b.txt"
                               << "a/b.txt";
    QTest::newRow("dots inside a name") << "song..mp3"
                                        << "song..mp3";
    QTest::newRow("empty gets the fallback") << ""
                                             << "index.html";
}

void TestSavePath::acceptsNamesInsideTheDirectory()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QString refusal = QStringLiteral("stale");
    QCOMPARE(SavePath::resolve(directory, name, &refusal), directory + expected);
    QVERIFY(refusal.isEmpty());
}

void TestSavePath::refusesNamesLeavingTheDirectory_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("parent") << "../song.mp3";
    QTest::newRow("parent deep inside") << "a/b/../../../song.mp3";
    QTest::newRow("only parent") << "..";
    QTest::newRow("windows parent") << "..\\song.mp3";
    QTest::newRow("windows trailing dots") << "... /song.mp3";
    QTest::newRow("absolute") << "/etc/passwd";
    QTest::newRow("windows absolute") << "\\Windows\\win.ini";
    QTest::newRow("drive") << "c:/song.mp3";
    QTest::newRow("drive relative") << "c:song.mp3";
    QTest::newRow("the folder itself") << ".";
    QTest::newRow("nul") << QStringLiteral("a") + QChar(0) + QStringLiteral("/../x");
    // Hidden names would reach shell start-up files and keys where the
    // download folder is the home folder.
    QTest::newRow("hidden file") << ".bashrc";
    QTest::newRow("hidden folder") << ".config/autostart/x.desktop";
    QTest::newRow("hidden folder deeper") << "a/.ssh/authorized_keys";
    QTest::newRow("hidden after a backslash") << "a\\.ssh\\authorized_keys";
    QTest::newRow("dots before a name") << "..song..mp3";
    QTest::newRow("current folder") << "./a/./b";
}

void TestSavePath::refusesNamesLeavingTheDirectory()
{
    QFETCH(QString, name);
    QString refusal;
    QCOMPARE(SavePath::resolve(directory, name, &refusal), QString());
    QVERIFY(!refusal.isEmpty());
}

void TestSavePath::noAcceptedNameResolvesOutside()
{
    const QStringList pieces{QStringLiteral("a"), QStringLiteral("."),  QStringLiteral(".."),
                             QStringLiteral("/"), QStringLiteral("\\"), QStringLiteral(":"),
                             QStringLiteral(" "), QStringLiteral("c"),  QString(QChar(0))};
    QRandomGenerator random(20261207); // fixed, so a failure can be replayed
    int accepted = 0;
    for (int round = 0; round < 50000; ++round) {
        QString name;
        const int length = random.bounded(1, 9);
        for (int i = 0; i < length; ++i)
            name += pieces.at(random.bounded(pieces.size()));
        const QString path = SavePath::resolve(directory, name);
        if (path.isEmpty())
            continue;
        ++accepted;
        QVERIFY2(staysInside(directory, path), qPrintable(QStringLiteral("accepted \"%1\"").arg(name)));
    }
    // The generator must reach both sides of the check to mean anything.
    QVERIFY(accepted > 1000);
    QVERIFY(accepted < 49000);
}

QTEST_APPLESS_MAIN(TestSavePath)
#include "test_savepath.moc"
