// The engine floor: the least a QtWebEngine program does to show one page.
//   startup_baseline_webengine URL
// Prints "loadFinished ok" to standard error when the page has loaded, and
// page script's console messages as they come; runs until killed.
// Like the program, it keeps its page in a profile without a name (nothing
// on disk) and shares OpenGL contexts, which QtWebEngine asks for.

#include <QApplication>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <cstdio>

namespace {

// A stock page that also writes page script's console messages to standard
// error, so the driver can time both programs on the same line of the page.
class BaselinePage : public QWebEnginePage
{
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &message, int lineNumber,
                                  const QString &sourceID) override
    {
        // stdio rather than qDebug: the floor should not pay for Qt's message machinery.
        std::fprintf(stderr, "console: %s (line %d, %s)\n", message.toUtf8().constData(), lineNumber,
                     sourceID.toUtf8().constData());
        std::fflush(stderr);
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s URL\n", argv[0]);
        return 2;
    }

    QWebEngineProfile profile;
    QWebEngineView view;
    auto *page = new BaselinePage(&profile, &view);
    view.setPage(page);
    QObject::connect(page, &QWebEnginePage::loadFinished, [](bool ok) {
        std::fprintf(stderr, "loadFinished %s\n", ok ? "ok" : "failed");
        std::fflush(stderr);
    });
    view.setFixedSize(640, 480);
    view.load(QUrl::fromUserInput(QString::fromLocal8Bit(argv[1])));
    view.show();
    const int status = app.exec();
    // The page goes before its profile.
    delete page;
    return status;
}
