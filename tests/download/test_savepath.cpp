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
    void refusesUnsafeNames_data();
    void refusesUnsafeNames();
    void showsWhatANameHolds();
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

void TestSavePath::refusesUnsafeNames_data()
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
    // Names that would show as others in the prompts.
    const auto with = [](ushort c) -> QString { return QStringLiteral("song") + QChar(c) + QStringLiteral("3pm.exe"); };
    QTest::newRow("line feed") << with(0x0A);
    QTest::newRow("carriage return") << with(0x0D);
    QTest::newRow("escape") << with(0x1B);
    QTest::newRow("delete") << with(0x7F);
    QTest::newRow("next line") << with(0x85);
    QTest::newRow("line separator") << with(0x2028);
    QTest::newRow("paragraph separator") << with(0x2029);
    QTest::newRow("left-to-right mark") << with(0x200E);
    QTest::newRow("right-to-left mark") << with(0x200F);
    QTest::newRow("arabic letter mark") << with(0x061C);
    QTest::newRow("left-to-right embedding") << with(0x202A);
    QTest::newRow("right-to-left override") << with(0x202E);
    QTest::newRow("left-to-right isolate") << with(0x2066);
    QTest::newRow("pop directional isolate") << with(0x2069);
    QTest::newRow("in a folder name") << QStringLiteral("a") + QChar(0x202E) + QStringLiteral("b/c.txt");
}

void TestSavePath::refusesUnsafeNames()
{
    QFETCH(QString, name);
    QString refusal;
    QCOMPARE(SavePath::resolve(directory, name, &refusal), QString());
    QVERIFY(!refusal.isEmpty());
}

void TestSavePath::showsWhatANameHolds()
{
    QCOMPARE(SavePath::shown(QStringLiteral("a") + QChar(0x202E) + QStringLiteral("b\nc\u00e9")),
             QString::fromUtf8("a[U+202E]b[U+000A]c\u00e9"));
    // Letters of right-to-left scripts are names like any other.
    const QString hebrew = QString::fromUtf8("\u05e9\u05d9\u05e8.ogg");
    QCOMPARE(SavePath::shown(hebrew), hebrew);
    QCOMPARE(SavePath::resolve(directory, hebrew), directory + hebrew);
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
