#include "applicationsetup.h"
#include "fixtureserver.h"
#include "httpwindow.h"
#include "modalanswerer.h"
#include "testenvironment.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSaveFile>
#include <QScopeGuard>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QtTest>

// The download window against a real loopback HTTP and HTTPS server, with
// every question answered the way a user would.
class TestHttpWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void savesTheServedBytes_data();
    void savesTheServedBytes();
    void overwriteQuestion();
    void failuresKeepTheOldFile_data();
    void failuresKeepTheOldFile();
    void cancelKeepsTheOldFileAndQuietensProgress_data();
    void cancelKeepsTheOldFileAndQuietensProgress();
    void resumesWhereTheConnectionBroke_data();
    void resumesWhereTheConnectionBroke();
    void acceptedRedirectRestartsIntoTheSameTarget_data();
    void acceptedRedirectRestartsIntoTheSameTarget();
    void authenticationForm();
    void textsInTheUsersLanguage();
    void certificateQuestion_data();
    void certificateQuestion();
    void longServerTextsKeepPromptsOnScreen_data();
    void longServerTextsKeepPromptsOnScreen();
    void unsafeNamesAreRefusedWithoutRequest_data();
    void unsafeNamesAreRefusedWithoutRequest();
    void subfolders();
    void symbolicLinksAreRefused_data();
    void symbolicLinksAreRefused();
    void onlyHttpAndHttpsAreFetched_data();
    void onlyHttpAndHttpsAreFetched();
    void progressStaysRightForAnySize();
    void concurrentDownloads();
    void fullDiskNamesTheCause();

private:
    QString target(const QString &name) const { return downloads + name; }
    QStringList downloadEntries() const;
    void writeOldFile(const QString &name);
    QByteArray contents(const QString &path) const;
    QList<QSslError> handshakeErrors(const QUrl &url) const;
    QUrl resumable(const char *key, const QString &options) const;
    QStringList rangesAsked(const QUrl &url) const;

    QTemporaryDir certificates;
    FixtureServer server;
    QString downloads;
};

namespace {
const QByteArray oldBytes = "the old file, which must survive\n";
const qint64 resumableSize = 1000003;

QProgressDialog *progressOf(HttpWindow &window)
{
    return window.findChild<QProgressDialog *>();
}

ModalAnswerer::Answer fillCredentials(const QString &user, const QString &password, bool accept)
{
    return [=](QWidget *widget) {
        auto *dialog = qobject_cast<QDialog *>(widget);
        widget->findChild<QLineEdit *>(QStringLiteral("userEdit"))->setText(user);
        widget->findChild<QLineEdit *>(QStringLiteral("passwordEdit"))->setText(password);
        accept ? dialog->accept() : dialog->reject();
    };
}
} // namespace

void TestHttpWindow::initTestCase()
{
    ApplicationSetup::prepare();
    QVERIFY(certificates.isValid());
    const QString dir = certificates.path() + QLatin1Char('/');
    // Right name, only self-signed: one error. Wrong name and meant for
    // clients only: three.
    QVERIFY(FixtureServer::makeCertificate(dir + "one.pem", dir + "one.key", QStringLiteral("127.0.0.1"),
                                           {QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1")}));
    QVERIFY(FixtureServer::makeCertificate(dir + "three.pem", dir + "three.key", QStringLiteral("wrong.invalid"),
                                           {QStringLiteral("-addext"), QStringLiteral("extendedKeyUsage=clientAuth")}));
    QVERIFY(server.start({{dir + "one.pem", dir + "one.key"}, {dir + "three.pem", dir + "three.key"}}));
    downloads = TestSupport::environment().downloadDirectory();
}

void TestHttpWindow::init()
{
    QDir(downloads).removeRecursively();
    QVERIFY(QDir().mkpath(downloads));
}

QStringList TestHttpWindow::downloadEntries() const
{
    return QDir(downloads).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

void TestHttpWindow::writeOldFile(const QString &name)
{
    QFile file(target(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(oldBytes);
}

QByteArray TestHttpWindow::contents(const QString &path) const
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QList<QSslError> TestHttpWindow::handshakeErrors(const QUrl &url) const
{
    QSslSocket socket;
    QList<QSslError> errors;
    connect(&socket, QOverload<const QList<QSslError> &>::of(&QSslSocket::sslErrors),
            [&errors](const QList<QSslError> &reported) { errors = reported; });
    socket.connectToHostEncrypted(url.host(), quint16(url.port()));
    socket.waitForEncrypted(10000);
    return errors;
}

// /resume/<size> with `options`, its attempts counted under `key`.
QUrl TestHttpWindow::resumable(const char *key, const QString &options) const
{
    const QString name = QString::fromLatin1(QUrl::toPercentEncoding(QString::fromLatin1(key)));
    return server.http(QStringLiteral("/resume/%1?key=%2&%3").arg(resumableSize).arg(name, options));
}

// The Range and If-Range headers of each request for `url`, as the server saw them.
QStringList TestHttpWindow::rangesAsked(const QUrl &url) const
{
    QStringList asked;
    for (const QString &line : server.requests({"Range", "If-Range"})) {
        if (line.section('\t', 0, 0) == url.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::FullyEncoded))
            asked << line.section('\t', 1).replace('\t', ' ');
    }
    return asked;
}

void TestHttpWindow::savesTheServedBytes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<qint64>("size");
    QTest::newRow("small") << "/bytes/1000" << qint64(1000);
    QTest::newRow("empty") << "/bytes/0" << qint64(0);
    QTest::newRow("size not announced") << "/bytes/300001?chunked" << qint64(300001);
    QTest::newRow("100 MiB") << "/bytes/104857600" << qint64(104857600);
}

void TestHttpWindow::savesTheServedBytes()
{
    QFETCH(QString, path);
    QFETCH(qint64, size);
    ModalAnswerer answerer;
    HttpWindow window;
    window.downloadFile(server.http(path).toString(), QStringLiteral("file.bin"));
    QVERIFY(window.isDownloading());
    QTRY_VERIFY_WITH_TIMEOUT(!window.isDownloading(), 120000);

    QString why;
    QVERIFY2(FixtureServer::fileHoldsPattern(target("file.bin"), size, &why), qPrintable(why));
    QCOMPARE(downloadEntries(), QStringList{"file.bin"});
    QCOMPARE(answerer.seen, QStringList());
    QVERIFY(!progressOf(window)->isVisible());
}

void TestHttpWindow::overwriteQuestion()
{
    writeOldFile("song.mp3");
    const QString question =
        QStringLiteral("There already exists a file called %1 in the current directory. Overwrite?")
            .arg(target("song.mp3"));
    {
        ModalAnswerer answerer;
        answerer.then(QMessageBox::No);
        HttpWindow window;
        window.downloadFile(server.http("/bytes/7001").toString(), QStringLiteral("song.mp3"));
        QVERIFY(!window.isDownloading());
        QCOMPARE(answerer.seen, QStringList{question});
        QCOMPARE(contents(target("song.mp3")), oldBytes);
        QVERIFY(!server.requests().contains("/bytes/7001"));
        // Qt would show a fresh progress dialog by itself after four seconds.
        QTest::qWait(4500);
        QVERIFY(!progressOf(window)->isVisible());
    }
    ModalAnswerer answerer;
    answerer.then(QMessageBox::Yes);
    HttpWindow window;
    window.downloadFile(server.http("/bytes/7002").toString(), QStringLiteral("song.mp3"));
    QTRY_VERIFY(!window.isDownloading());
    QCOMPARE(answerer.seen, QStringList{question});
    QString why;
    QVERIFY2(FixtureServer::fileHoldsPattern(target("song.mp3"), 7002, &why), qPrintable(why));
}

void TestHttpWindow::failuresKeepTheOldFile_data()
{
    // Answers after "Yes, overwrite": yes/no/ok/abort to message boxes,
    // "cancel form" to the credentials form.
    QTest::addColumn<QString>("url");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<bool>("reportsFailure");
    QTest::newRow("404") << server.http("/status/404").toString() << QStringList{"ok"} << true;
    QTest::newRow("500") << server.http("/status/500").toString() << QStringList{"ok"} << true;
    QTest::newRow("connection drops every time")
        << resumable("drops", "drop=100003,100003,100003,100003&validator=none").toString() << QStringList{"ok"}
        << true;
    QTest::newRow("certificate refused") << server.https(0, "/bytes/1000").toString() << QStringList{"abort", "ok"}
                                         << true;
    // Enter refuses a certificate that failed its checks.
    QTest::newRow("certificate question met with Enter")
        << server.https(1, "/bytes/1000").toString() << QStringList{"enter", "ok"} << true;
    QTest::newRow("credentials cancelled")
        << server.http("/auth/1000").toString() << QStringList{"cancel form", "ok"} << true;
    QTest::newRow("redirect declined") << server.http("/redirect?to=/bytes/1000").toString() << QStringList{"no"}
                                       << false;
    QTest::newRow("redirect loop declined at last")
        << server.http("/loop").toString() << QStringList{"yes", "yes", "yes", "no"} << false;
    QTest::newRow("redirect to ftp") << server.http("/redirect?to=ftp://127.0.0.1:9/x").toString()
                                     << QStringList{"yes", "ok"} << true;
}

void TestHttpWindow::failuresKeepTheOldFile()
{
    QFETCH(QString, url);
    QFETCH(QStringList, answers);
    QFETCH(bool, reportsFailure);
    writeOldFile("song.mp3");
    ModalAnswerer answerer;
    answerer.then(QMessageBox::Yes);
    for (const QString &answer : answers) {
        if (answer == "cancel form")
            answerer.then(fillCredentials(QString(), QString(), false));
        else if (answer == "enter")
            answerer.then([](QWidget *box) { QTest::keyClick(box, Qt::Key_Return); });
        else
            answerer.then(answer == "yes"     ? QMessageBox::Yes
                          : answer == "no"    ? QMessageBox::No
                          : answer == "abort" ? QMessageBox::Abort
                                              : QMessageBox::Ok);
    }
    HttpWindow window;
    window.downloadFile(url, QStringLiteral("song.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(!window.isDownloading(), 20000);

    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected, 0);
    if (reportsFailure) {
        QVERIFY2(answerer.seen.last().startsWith("Download failed: "), qPrintable(answerer.seen.last()));
    } else {
        QVERIFY2(answerer.seen.last().startsWith("Redirect to "), qPrintable(answerer.seen.last()));
    }
    QCOMPARE(contents(target("song.mp3")), oldBytes);
    QCOMPARE(downloadEntries(), QStringList{"song.mp3"});
}

void TestHttpWindow::cancelKeepsTheOldFileAndQuietensProgress_data()
{
    QTest::addColumn<bool>("betweenAttempts");
    QTest::newRow("during the transfer") << false;
    QTest::newRow("while waiting to try again") << true;
}

void TestHttpWindow::cancelKeepsTheOldFileAndQuietensProgress()
{
    QFETCH(bool, betweenAttempts);
    writeOldFile("song.mp3");
    ModalAnswerer answerer;
    answerer.then(QMessageBox::Yes);
    HttpWindow window;
    QProgressDialog *progress = progressOf(window);
    const QUrl url =
        betweenAttempts ? resumable(QTest::currentDataTag(), "drop=100003") : server.http("/slow/50000000");
    window.downloadFile(url.toString(), QStringLiteral("song.mp3"));
    QTRY_VERIFY(progress->value() > 0);
    if (betweenAttempts)
        QTRY_VERIFY(window.findChild<QTimer *>("retryTimer")->isActive());
    else
        QTRY_VERIFY_WITH_TIMEOUT(progress->isVisible(), 10000);

    progress->findChild<QPushButton *>()->click();
    QTRY_VERIFY(!window.isDownloading());
    if (betweenAttempts)
        QCOMPARE(rangesAsked(url), QStringList{""});
    QVERIFY(!progress->isVisible());
    QStringList labels;
    for (const QLabel *label : window.findChildren<QLabel *>())
        labels << label->text();
    QVERIFY(labels.contains("Download canceled."));
    QCOMPARE(contents(target("song.mp3")), oldBytes);
    QCOMPARE(downloadEntries(), QStringList{"song.mp3"});
    // Qt keeps the unfinished file nameless on Linux: only its holder shows.
    QCOMPARE(window.findChildren<QSaveFile *>().size(), 0);

    // A report still queued when the user cancelled.
    const int maximum = progress->maximum();
    const int value = progress->value();
    QVERIFY(
        QMetaObject::invokeMethod(&window, "updateDataReadProgress", Q_ARG(qint64, 40000000), Q_ARG(qint64, 50000000)));
    QCOMPARE(progress->maximum(), maximum);
    QCOMPARE(progress->value(), value);
    // Nor does it show a moment later.
    QTest::qWait(100);
    QVERIFY(!progress->isVisible());
}

// A connection that breaks off is taken up again where it broke, if the
// server proves the file unchanged; otherwise the file is fetched again from
// the start. The saved file is the served one byte for byte, or none at all,
// never pieces of two versions, and the progress counts the whole file.
void TestHttpWindow::resumesWhereTheConnectionBroke_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QStringList>("asked");   // Range and If-Range of each request
    QTest::addColumn<QStringList>("prompts"); // how each begins
    QTest::addColumn<bool>("fromTheStart");   // the progress may go back
    const auto row = [this](const char *name, const QString &options) -> QTestData & {
        return QTest::newRow(name) << resumable(name, options);
    };
    const QString tag = "If-Range: \"v1\"";
    const QString rest = "Range: bytes=100003- " + tag;
    row("tag, broken twice", "drop=100003,200003")
        << QStringList{"", rest, "Range: bytes=200003- " + tag} << QStringList() << false;
    row("date", "drop=100003&validator=modified")
        << QStringList{"", "Range: bytes=100003- If-Range: Fri, 01 Jan 2021 00:00:00 GMT"} << QStringList() << false;
    row("broken again before more came", "drop=100003,100003") << QStringList{"", rest, rest} << QStringList() << false;
    // Without a validator that proves one version, a range could splice two.
    row("no validator", "drop=100003&validator=none") << QStringList{"", ""} << QStringList() << true;
    row("weak tag", "drop=100003&validator=weak") << QStringList{"", ""} << QStringList() << true;
    row("date of the answer's own second", "drop=100003&validator=fresh")
        << QStringList{"", ""} << QStringList() << true;
    row("ranges ignored", "drop=100003&range=ignore") << QStringList{"", rest} << QStringList() << true;
    row("file changed", "drop=100003&change")
        << QStringList{"", "Range: bytes=100003- If-Range: \"v0\""} << QStringList() << true;
    row("file changed, If-Range ignored", "drop=100003&change&range=blind")
        << QStringList{"", "Range: bytes=100003- If-Range: \"v0\"", ""} << QStringList() << true;
    row("Content-Range not the one asked for", "drop=100003&range=wrong")
        << QStringList{"", rest, ""} << QStringList() << true;
    // Qt would unpack it on the fly and take a broken-off answer for whole.
    row("compressed where accepted", "drop=100003&gzip") << QStringList{"", rest} << QStringList() << false;
    QTest::newRow("over https, the certificate asked about once")
        << QUrl(server.https(0, resumable("https", "drop=100003").toString(QUrl::RemoveScheme | QUrl::RemoveAuthority)))
        << QStringList{"", rest} << QStringList{"One or more SSL errors has occurred: "} << false;
    row("broken before any of the file came", "drop=0") << QStringList{""} << QStringList{"Download failed: "} << false;
    // Qt reports the last break as its own error or as an answer that ended
    // short, whichever of the socket's signals comes first; either fails it.
    row("broken every time", "drop=100003,200003,300003,400003")
        << QStringList{"", rest, "Range: bytes=200003- " + tag, "Range: bytes=300003- " + tag}
        << QStringList{"Download failed: "} << false;
}

void TestHttpWindow::resumesWhereTheConnectionBroke()
{
    QFETCH(QUrl, url);
    QFETCH(QStringList, asked);
    QFETCH(QStringList, prompts);
    QFETCH(bool, fromTheStart);
    ModalAnswerer answerer;
    for (const QString &prompt : prompts)
        answerer.then(prompt.startsWith("One or more") ? QMessageBox::Ignore : QMessageBox::Ok);
    HttpWindow window;
    QList<QPair<int, int>> progress; // value, maximum
    auto *bar = progressOf(window)->findChild<QProgressBar *>();
    connect(bar, &QProgressBar::valueChanged, [&](int value) { progress.append({value, bar->maximum()}); });
    window.downloadFile(url.toString(), QStringLiteral("song.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(!window.isDownloading(), 60000);

    QCOMPARE(rangesAsked(url), asked);
    QVERIFY2(answerer.seen.size() == prompts.size(), qPrintable(answerer.seen.join('\n')));
    for (int i = 0; i < prompts.size(); ++i)
        QVERIFY2(answerer.seen.at(i).startsWith(prompts.at(i)), qPrintable(answerer.seen.at(i)));
    if (!prompts.isEmpty() && prompts.last().startsWith("Download failed")) {
        QCOMPARE(downloadEntries(), QStringList());
        return;
    }
    QString why;
    QVERIFY2(FixtureServer::fileHoldsPattern(target("song.mp3"), resumableSize, &why), qPrintable(why));
    QCOMPARE(downloadEntries(), QStringList{"song.mp3"});
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last(), qMakePair(int(resumableSize), int(resumableSize)));
    for (int i = 0; i < progress.size(); ++i) {
        QCOMPARE(progress.at(i).second, int(resumableSize));
        if (!fromTheStart && i > 0)
            QVERIFY2(progress.at(i).first >= progress.at(i - 1).first, "the progress went back");
    }
}

void TestHttpWindow::acceptedRedirectRestartsIntoTheSameTarget_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("resolved");
    QTest::newRow("relative") << "bytes/5003" << server.http("/bytes/5003").toString();
    QTest::newRow("absolute") << server.http("/bytes/5003").toString() << server.http("/bytes/5003").toString();
    QTest::newRow("to https") << server.https(0, "/bytes/5003").toString() << server.https(0, "/bytes/5003").toString();
}

void TestHttpWindow::acceptedRedirectRestartsIntoTheSameTarget()
{
    QFETCH(QString, location);
    QFETCH(QString, resolved);
    writeOldFile("song.mp3");
    ModalAnswerer answerer;
    answerer.then(QMessageBox::Yes).then(QMessageBox::Yes);
    if (resolved.startsWith("https"))
        answerer.then(QMessageBox::Ignore);
    HttpWindow window;
    QUrl url = server.http("/redirect");
    url.setQuery(QLatin1String("to=") + QString::fromLatin1(QUrl::toPercentEncoding(location)));
    window.downloadFile(url.toString(), QStringLiteral("song.mp3"));
    QTRY_VERIFY(!window.isDownloading());

    QCOMPARE(answerer.seen.value(1), QStringLiteral("Redirect to %1 ?").arg(resolved));
    QCOMPARE(answerer.pending(), 0);
    QString why;
    QVERIFY2(FixtureServer::fileHoldsPattern(target("song.mp3"), 5003, &why), qPrintable(why));
    QCOMPARE(downloadEntries(), QStringList{"song.mp3"});
}

void TestHttpWindow::authenticationForm()
{
    QUrl url = server.http("/auth/6000");
    url.setUserName("alice");
    url.setPassword("wrong");
    QString site, user, password;
    QLineEdit::EchoMode echo = QLineEdit::NoEcho;
    bool bold = false;
    ModalAnswerer answerer;
    // Qt tries the credentials in the URL first; the form comes after they fail.
    answerer.then([&](QWidget *widget) {
        auto *description = widget->findChild<QLabel *>("siteDescription");
        // The realm is the server's text: never markup.
        site = (description->textFormat() == Qt::PlainText ? "" : "markup: ") + description->text();
        bold = description->font().bold();
        user = widget->findChild<QLineEdit *>("userEdit")->text();
        auto *passwordEdit = widget->findChild<QLineEdit *>("passwordEdit");
        password = passwordEdit->text();
        echo = passwordEdit->echoMode();
        fillCredentials("alice", "secret", true)(widget);
    });
    HttpWindow window;
    window.downloadFile(url.toString(), QStringLiteral("members.bin"));
    QTRY_VERIFY(!window.isDownloading());

    QCOMPARE(answerer.seen, QStringList{"Http authentication required"});
    QCOMPARE(site, QStringLiteral("Members at 127.0.0.1"));
    QVERIFY(bold);
    QCOMPARE(user, QStringLiteral("alice"));
    QCOMPARE(password, QStringLiteral("wrong"));
    QCOMPARE(echo, QLineEdit::Normal);
    QString why;
    QVERIFY2(FixtureServer::fileHoldsPattern(target("members.bin"), 6000, &why), qPrintable(why));
}

// German under a German LANG (test_httpwindow_de), English byte for byte
// otherwise; the buttons are Qt's own texts.
void TestHttpWindow::textsInTheUsersLanguage()
{
    const int language = qgetenv("LANG").startsWith("de") ? 1 : 0;
    const QString refused = target("../x.txt");
    const QList<QStringList> texts = {
        {"Unable to save the file " + refused + ": the name leads out of the download folder with \"..\".",
         "Die Datei " + refused
             + " kann nicht gespeichert werden: der Name führt mit „..“ aus dem Download-Ordner heraus."},
        {"Http authentication required", "HTTP-Authentifizierung erforderlich"},
        {"You need to supply a Username and a Password to access this site",
         "Für den Zugriff auf diese Seite sind ein Benutzername und ein Passwort erforderlich"},
        {"Site:", "Seite:"},
        {"Members at 127.0.0.1", "Members auf 127.0.0.1"},
        {"Username:", "Benutzername:"},
        {"Password:", "Passwort:"},
        {"OK", "OK"},
        {"Cancel", "Abbrechen"}};
    QStringList form;
    ModalAnswerer answerer;
    answerer.then(QMessageBox::Ok).then([&form](QWidget *dialog) {
        for (const char *name : {"label", "label_4", "siteDescription", "label_2", "label_3"})
            form << dialog->findChild<QLabel *>(name)->text();
        auto *buttons = dialog->findChild<QDialogButtonBox *>();
        form << buttons->button(QDialogButtonBox::Ok)->text() << buttons->button(QDialogButtonBox::Cancel)->text();
        qobject_cast<QDialog *>(dialog)->reject();
    });
    answerer.then(QMessageBox::Ok);
    HttpWindow refusing;
    refusing.downloadFile(server.http("/bytes/10").toString(), QStringLiteral("../x.txt"));
    HttpWindow asking;
    asking.downloadFile(server.http("/auth/10").toString(), QStringLiteral("members.bin"));
    QTRY_VERIFY(!asking.isDownloading());

    QVERIFY(answerer.answeredAll());
    QStringList expected;
    for (const QStringList &text : texts)
        expected << text.at(language);
    QCOMPARE(answerer.seen.mid(0, 2) + form, expected);
}

void TestHttpWindow::certificateQuestion_data()
{
    QTest::addColumn<int>("listener");
    QTest::addColumn<int>("errorCount");
    QTest::newRow("one error") << 0 << 1;
    QTest::newRow("three errors") << 1 << 3;
}

void TestHttpWindow::certificateQuestion()
{
    QFETCH(int, listener);
    QFETCH(int, errorCount);
    const QUrl url = server.https(listener, "/bytes/3000");
    QStringList descriptions;
    for (const QSslError &error : handshakeErrors(url))
        descriptions << error.errorString();
    QCOMPARE(descriptions.size(), errorCount);

    ModalAnswerer answerer;
    answerer.then(QMessageBox::Ignore);
    HttpWindow window;
    window.downloadFile(url.toString(), QStringLiteral("secure.bin"));
    QTRY_VERIFY(!window.isDownloading());

    QCOMPARE(answerer.seen, QStringList{"One or more SSL errors has occurred: " + descriptions.join(", ")});
    QString why;
    QVERIFY2(FixtureServer::fileHoldsPattern(target("secure.bin"), 3000, &why), qPrintable(why));
}

// Realms, addresses, reasons and names of kilobytes: every prompt keeps to
// the 640x480 screen Melodrift was made for, with its buttons on it.
void TestHttpWindow::longServerTextsKeepPromptsOnScreen_data()
{
    const QString unbroken(3600, QLatin1Char('r'));
    const QString words = QStringLiteral("realm ").repeated(600);
    auto withQuery = [this](const QString &path, const QString &key, const QString &value) {
        QUrl url = server.http(path);
        url.setQuery(key + '=' + QString::fromLatin1(QUrl::toPercentEncoding(value)));
        return url.toString();
    };
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("prompts"); // how each begins
    const QStringList refusedCredentials{"Http authentication required", "Download failed: "};
    QTest::newRow("realm without a blank") << withQuery("/auth/10", "realm", unbroken) << "a.bin" << refusedCredentials;
    QTest::newRow("realm of many words") << withQuery("/auth/10", "realm", words) << "a.bin" << refusedCredentials;
    QTest::newRow("redirect") << withQuery("/redirect", "to", "/bytes/10?" + unbroken) << "a.bin"
                              << QStringList{"Redirect to " + server.http("/bytes/10?rrr").toString()};
    QTest::newRow("server's reason") << withQuery("/status/404", "reason", words) << "a.bin"
                                     << QStringList{"Download failed: "};
    QTest::newRow("page's address") << "ftp://127.0.0.1/" + unbroken << "a.bin" << QStringList{"Download failed: "};
    QString deep;
    for (int i = 0; i < 15; ++i)
        deep += QString(240, QLatin1Char('a' + i)) + '/';
    QTest::newRow("page's name") << server.http("/bytes/10").toString() << deep + "song.mp3"
                                 << QStringList{"There already exists a file called " + downloads + "aaa"};
}

void TestHttpWindow::longServerTextsKeepPromptsOnScreen()
{
    QFETCH(QString, url);
    QFETCH(QString, name);
    QFETCH(QStringList, prompts);
    if (name.contains('/')) {
        QVERIFY(QDir().mkpath(target(name.section('/', 0, -2))));
        writeOldFile(name);
    }
    QStringList offScreen;
    ModalAnswerer answerer;
    answerer.otherwise([&](QWidget *prompt) {
        const QSize size = prompt->frameGeometry().size();
        if (size.width() > 640 || size.height() > 480)
            offScreen << QStringLiteral("%1 is %2x%3").arg(prompt->windowTitle()).arg(size.width()).arg(size.height());
        for (const QAbstractButton *button : prompt->findChildren<QAbstractButton *>()) {
            if (button->isVisible() && !prompt->rect().contains(QRect(button->mapTo(prompt, QPoint()), button->size())))
                offScreen << QStringLiteral("%1 off %2").arg(button->text(), prompt->windowTitle());
        }
        qobject_cast<QDialog *>(prompt)->reject();
    });
    HttpWindow window;
    window.downloadFile(url, name);
    QTRY_VERIFY(!window.isDownloading());
    QTRY_COMPARE(answerer.seen.size(), prompts.size());

    QVERIFY2(offScreen.isEmpty(), qPrintable(offScreen.join(", ")));
    for (int i = 0; i < prompts.size(); ++i)
        QVERIFY2(answerer.seen.at(i).startsWith(prompts.at(i)), qPrintable(answerer.seen.at(i)));
}

void TestHttpWindow::unsafeNamesAreRefusedWithoutRequest_data()
{
    const QString outside = TestSupport::environment().root() + "/escaped.txt";
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("escapedTo");
    QTest::addColumn<QString>("shownAs"); // in the box, when not as given
    QTest::newRow("parent") << "../escaped.txt" << outside << "";
    QTest::newRow("parent after a subfolder") << "sub/../../escaped.txt" << outside << "";
    QTest::newRow("absolute") << outside << outside << "";
    QTest::newRow("hidden file") << ".bashrc" << downloads + ".bashrc" << "";
    QTest::newRow("hidden folder") << ".config/autostart/x.desktop" << downloads + ".config" << "";
    // Names that would show as others in the box, which shows what they hold.
    QTest::newRow("right-to-left override")
        << QString::fromUtf8("song\u202Egpj.exe") << downloads + "song" << "song[U+202E]gpj.exe";
    QTest::newRow("line break") << "song.mp3\n/etc/passwd" << downloads + "song.mp3" << "song.mp3[U+000A]/etc/passwd";
}

void TestHttpWindow::unsafeNamesAreRefusedWithoutRequest()
{
    QFETCH(QString, name);
    QFETCH(QString, escapedTo);
    QFETCH(QString, shownAs);
    QDir(downloads).mkdir("sub");
    ModalAnswerer answerer;
    answerer.then(QMessageBox::Ok);
    HttpWindow window;
    window.downloadFile(server.http("/bytes/7003").toString(), name);

    QVERIFY(!window.isDownloading());
    QCOMPARE(answerer.seen.size(), 1);
    const QString prefix =
        QStringLiteral("Unable to save the file %1: ").arg(downloads + (shownAs.isEmpty() ? name : shownAs));
    QVERIFY2(answerer.seen.first().startsWith(prefix), qPrintable(answerer.seen.first()));
    QVERIFY(answerer.seen.first().size() > prefix.size() + 1);
    QVERIFY(!QFile::exists(escapedTo));
    QVERIFY(!server.requests().contains("/bytes/7003"));
}

void TestHttpWindow::subfolders()
{
    ModalAnswerer answerer;
    answerer.then(QMessageBox::Ok);
    HttpWindow missing;
    missing.downloadFile(server.http("/bytes/100").toString(), QStringLiteral("sub/b.txt"));
    QVERIFY(!missing.isDownloading());
    QCOMPARE(answerer.seen.size(), 1);
    QVERIFY(answerer.seen.first().startsWith("Unable to save the file " + target("sub/b.txt") + ": "));

    QVERIFY(QDir(downloads).mkdir("sub"));
    HttpWindow present;
    present.downloadFile(server.http("/bytes/100").toString(), QStringLiteral("sub/b.txt"));
    QTRY_VERIFY(!present.isDownloading());
    QString why;
    QVERIFY2(FixtureServer::fileHoldsPattern(target("sub/b.txt"), 100, &why), qPrintable(why));
    QCOMPARE(answerer.unexpected, 0);
}

// Links come into download folders with extracted archives. A name that is
// a link, or a linked folder leading out, is refused before anything is
// asked or fetched; a link planted while the file arrives, before it is put
// in place. Nothing is written anywhere.
void TestHttpWindow::symbolicLinksAreRefused_data()
{
    const QString outside = TestSupport::environment().root() + "/outside";
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("link"); // made in the download folder
    QTest::addColumn<QString>("leadsTo");
    QTest::addColumn<bool>("plantedDuringTransfer");
    QTest::addColumn<QString>("savedAs"); // empty: refused
    QTest::newRow("dangling link") << "probe-dl.bin"
                                   << "probe-dl.bin" << outside + "/planted.bin" << false << "";
    QTest::newRow("link to a file outside") << "song.mp3"
                                            << "song.mp3" << outside + "/victim.bin" << false << "";
    QTest::newRow("link to a file inside") << "alias.bin"
                                           << "alias.bin" << downloads + "real/file.bin" << false << "";
    QTest::newRow("folder linked outside") << "sub/x.bin"
                                           << "sub" << outside << false << "";
    QTest::newRow("folder linked to a missing one") << "gone/x.bin"
                                                    << "gone" << outside + "/missing" << false << "";
    QTest::newRow("link planted during the transfer") << "late.bin"
                                                      << "late.bin" << outside + "/planted.bin" << true << "";
    QTest::newRow("folder linked inside is fine") << "inner/x.bin"
                                                  << "inner" << downloads + "real" << false << "real/x.bin";
}

void TestHttpWindow::symbolicLinksAreRefused()
{
    QFETCH(QString, name);
    QFETCH(QString, link);
    QFETCH(QString, leadsTo);
    QFETCH(bool, plantedDuringTransfer);
    QFETCH(QString, savedAs);
    const QString outside = TestSupport::environment().root() + "/outside";
    QDir(outside).removeRecursively();
    QVERIFY(QDir().mkpath(outside) && QDir().mkpath(downloads + "real"));
    {
        QFile victim(outside + "/victim.bin");
        QVERIFY(victim.open(QIODevice::WriteOnly) && victim.write(oldBytes) == oldBytes.size());
    }
    writeOldFile("real/file.bin");
    const auto plant = [&] { return QFile::link(leadsTo, target(link)); };
    if (!plantedDuringTransfer)
        QVERIFY(plant());

    ModalAnswerer answerer;
    answerer.then(QMessageBox::Ok);
    HttpWindow window;
    const QString path = (plantedDuringTransfer ? "/slow/400000?" : "/bytes/7004?")
                         + QString::fromLatin1(QUrl::toPercentEncoding(QTest::currentDataTag()));
    window.downloadFile(server.http(path).toString(), name);
    if (plantedDuringTransfer) {
        QTRY_VERIFY(progressOf(window)->value() > 0);
        QVERIFY(plant());
    }
    QTRY_VERIFY_WITH_TIMEOUT(!window.isDownloading(), 20000);

    QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList{"victim.bin"});
    QCOMPARE(contents(outside + "/victim.bin"), oldBytes);
    QCOMPARE(contents(target("real/file.bin")), oldBytes);
    QCOMPARE(QFileInfo(target(link)).symLinkTarget(), QFileInfo(leadsTo).absoluteFilePath());
    if (!savedAs.isEmpty()) {
        QCOMPARE(answerer.seen, QStringList());
        QString why;
        QVERIFY2(FixtureServer::fileHoldsPattern(target(savedAs), 7004, &why), qPrintable(why));
        return;
    }
    QCOMPARE(answerer.seen.size(), 1);
    const QString prefix = QStringLiteral("Unable to save the file %1: ").arg(target(name));
    QVERIFY2(answerer.seen.first().startsWith(prefix) && answerer.seen.first().size() > prefix.size() + 1,
             qPrintable(answerer.seen.first()));
    QCOMPARE(server.requests().contains(path), plantedDuringTransfer);
    // No half-written file is left beside the link either.
    QStringList left{link, "real"};
    left.sort();
    QCOMPARE(downloadEntries(), left);
}

void TestHttpWindow::onlyHttpAndHttpsAreFetched_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("ftp") << "ftp://127.0.0.1:9/song.mp3";
    QTest::newRow("local file")
        << QUrl::fromLocalFile(TestEnvironment::sourcePath("tests/download/fixture_server.py")).toString();
    QTest::newRow("no scheme") << "song.mp3";
}

void TestHttpWindow::onlyHttpAndHttpsAreFetched()
{
    QFETCH(QString, url);
    ModalAnswerer answerer;
    answerer.then(QMessageBox::Ok);
    HttpWindow window;
    window.downloadFile(url, QStringLiteral("song.mp3"));
    QVERIFY(!window.isDownloading());
    QCOMPARE(answerer.seen.size(), 1);
    QVERIFY2(answerer.seen.first().startsWith("Download failed: ") && answerer.seen.first().contains(url),
             qPrintable(answerer.seen.first()));
    QCOMPARE(downloadEntries(), QStringList());
}

void TestHttpWindow::progressStaysRightForAnySize()
{
    HttpWindow window;
    QProgressDialog *progress = progressOf(window);
    const qint64 gib = qint64(1) << 30;
    QVERIFY(
        QMetaObject::invokeMethod(&window, "updateDataReadProgress", Q_ARG(qint64, 3 * gib), Q_ARG(qint64, 6 * gib)));
    QVERIFY(progress->maximum() > 0);
    QCOMPARE(double(progress->value()) / progress->maximum(), 0.5);

    QVERIFY(QMetaObject::invokeMethod(&window, "updateDataReadProgress", Q_ARG(qint64, 5 * gib), Q_ARG(qint64, -1)));
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), 0); // busy indicator

    QVERIFY(QMetaObject::invokeMethod(&window, "updateDataReadProgress", Q_ARG(qint64, 1000), Q_ARG(qint64, 4000)));
    QCOMPARE(progress->maximum(), 4000);
    QCOMPARE(progress->value(), 1000);
}

void TestHttpWindow::concurrentDownloads()
{
    ModalAnswerer answerer;
    HttpWindow first;
    HttpWindow second;
    first.downloadFile(server.http("/slow/300000").toString(), QStringLiteral("first.bin"));
    second.downloadFile(server.http("/slow/200000").toString(), QStringLiteral("second.bin"));
    // Both under way at once: the slow answers take seconds.
    QTest::qWait(300);
    QVERIFY(first.isDownloading() && second.isDownloading());
    QTRY_VERIFY_WITH_TIMEOUT(!first.isDownloading() && !second.isDownloading(), 30000);

    QString why;
    QVERIFY2(FixtureServer::fileHoldsPattern(target("first.bin"), 300000, &why), qPrintable(why));
    QVERIFY2(FixtureServer::fileHoldsPattern(target("second.bin"), 200000, &why), qPrintable(why));
    QCOMPARE(answerer.seen, QStringList());
}

void TestHttpWindow::fullDiskNamesTheCause()
{
    const QString disk = downloads + "disk";
    QVERIFY(QDir().mkpath(disk));
    QProcess mount;
    mount.start("mount", {"-t", "tmpfs", "-o", "size=256k", "tmpfs", disk});
    if (!mount.waitForFinished() || mount.exitCode() != 0) {
        // QSKIP with one argument trips clang's pedantic warning on variadic macros.
        QTest::qSkip(qPrintable(QStringLiteral("mounting a small tmpfs as a full disk needs root: ")
                                + QString::fromLocal8Bit(mount.readAllStandardError())),
                     __FILE__, __LINE__);
        return;
    }
    const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {disk}); });
    writeOldFile("disk/song.mp3");
    ModalAnswerer answerer;
    answerer.then(QMessageBox::Yes).then(QMessageBox::Ok);
    HttpWindow window;
    // 50 MB at the fixture's slow pace would take minutes: the transfer must
    // stop when the 256 KiB disk is full.
    window.downloadFile(server.http("/slow/50000000").toString(), QStringLiteral("disk/song.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(!window.isDownloading(), 15000);

    QCOMPARE(answerer.seen.value(1),
             QStringLiteral("Unable to save the file %1: No space left on device.").arg(target("disk/song.mp3")));
    QCOMPARE(contents(target("disk/song.mp3")), oldBytes);
    QCOMPARE(QDir(disk).entryList(QDir::Files | QDir::Hidden), QStringList{"song.mp3"});
}

MELODRIFT_TEST_MAIN(TestHttpWindow)
#include "test_httpwindow.moc"
