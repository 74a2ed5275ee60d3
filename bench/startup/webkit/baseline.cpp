// The engine floor: the least a QtWebKit program does to show one page.
//   startup_baseline_webkit URL
// Prints "loadFinished ok" to standard error when the page has loaded, and
// page script's console messages as they come; runs until killed.

#include "baselinepage.h"

#include <QApplication>
#include <QUrl>
#include <QWebView>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s URL\n", argv[0]);
        return 2;
    }

    QWebView view;
    view.setPage(new BaselinePage(&view));
    QObject::connect(&view, &QWebView::loadFinished, [](bool ok) {
        std::fprintf(stderr, "loadFinished %s\n", ok ? "ok" : "failed");
        std::fflush(stderr);
    });
    view.setFixedSize(640, 480);
    view.load(QUrl::fromUserInput(QString::fromLocal8Bit(argv[1])));
    view.show();
    return app.exec();
}
