#ifndef TESTENVIRONMENT_H
#define TESTENVIRONMENT_H

#include <QApplication>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

// Points every place the application writes (settings, downloads, playlist,
// web data) into a private temporary folder, so no test touches a real home
// directory. Must exist before the application object is created.
class TestEnvironment
{
public:
    TestEnvironment();

    QString root() const { return dir.path(); }
    QString downloadDirectory() const;
    QString playlistFile() const;
    QString configDirectory() const;

    // The absolute path of a file shipped in the source tree.
    static QString sourcePath(const QString &relative);

private:
    QTemporaryDir dir;
};

// Like QTEST_MAIN, with the environment isolated first; the test object
// reaches it through TestSupport::environment().
namespace TestSupport {
TestEnvironment &environment();
void setEnvironment(TestEnvironment *env);
} // namespace TestSupport

#define MELODRIFT_TEST_MAIN(TestObject)          \
    int main(int argc, char **argv)              \
    {                                            \
        TestEnvironment env;                     \
        TestSupport::setEnvironment(&env);       \
        QApplication app(argc, argv);            \
        app.setAttribute(Qt::AA_Use96Dpi, true); \
        TestObject tc;                           \
        QTEST_SET_MAIN_SOURCE_PATH               \
        return QTest::qExec(&tc, argc, argv);    \
    }

#endif // TESTENVIRONMENT_H
