#include "mainwindow.h"

#include "browserview.h"
#include "desktopintegration.h"
#include "mediaplayer.h"

#include <QApplication>
#include <QGraphicsWebView>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QSettings>
#include <QTranslator>
#include <QWebPage>
#include <QWebSettings>

#include <memory>

namespace {
// A language without a catalogue keeps the English the texts are written in.
void installTranslator(const QString &name, const QString &directory)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(), name, QStringLiteral("_"), directory))
        return;
    translator->setParent(QCoreApplication::instance());
    QCoreApplication::installTranslator(translator.release());
}
} // namespace

// Outside any namespace: the resource's initialiser lives in the global one.
static void installTranslations()
{
    // Tests prepare the same application object for every window they open.
    static QPointer<QCoreApplication> translated;
    if (translated == QCoreApplication::instance())
        return;
    translated = QCoreApplication::instance();

    // Qt's own texts: the standard buttons, the file and input dialogs.
    // Debian ships them in qttranslations5-l10n; without it they stay English.
    installTranslator(QStringLiteral("qtbase"), QLibraryInfo::location(QLibraryInfo::TranslationsPath));
    Q_INIT_RESOURCE(translations);
    installTranslator(QStringLiteral("melodrift"), QStringLiteral(":/translations"));
}

MainWindow::MainWindow()
    : QWidget(nullptr)
{
    view = new BrowserView(this);
    view->setVisible(true);
    // No layout: the window's size is fixed, so the view keeps this size.
    view->resize(width(), height());
    matchPageToScreen();
    integrateWithDesktop();
}

void MainWindow::integrateWithDesktop()
{
    desktop = new DesktopIntegration(this);
    desktop->setCanGoNext([this] { return view->holdsChartPage(); });
    connect(view, &BrowserView::pageChanged, desktop, &DesktopIntegration::canGoNextMayHaveChanged);
    // The page host announces every player it makes, the hidden first one
    // too, which comes once the page has loaded and always before the
    // others: asking for it here never makes one.
    connect(view, &BrowserView::playerCreated, desktop,
            [this](MediaPlayer *player) { desktop->addPlayer(player, player == view->listeningPlayer()); });
    // The controls may want it before the page has loaded.
    desktop->setListeningPlayerSource([this] { return view->listeningPlayer(); });
    connect(desktop, &DesktopIntegration::quitRequested, view, &BrowserView::exit);
    connect(desktop, &DesktopIntegration::nextRequested, view, &BrowserView::goToNextItem);
    connect(desktop, &DesktopIntegration::raiseRequested, this, &MainWindow::bringForward);
}

void MainWindow::bringForward()
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void MainWindow::prepareApplication()
{
    QWebSettings *web = QWebSettings::globalSettings();
    web->setAttribute(QWebSettings::JavascriptEnabled, true);
    web->setAttribute(QWebSettings::PluginsEnabled, true);

    QSettings::setDefaultFormat(QSettings::IniFormat);

    // The desktop matches windows, the desktop entry and the media controls
    // by this id; the executable keeps its short name.
    QGuiApplication::setDesktopFileName(QStringLiteral(MELODRIFT_APP_ID));
    // Without it an icon on a scaled screen is drawn from its small image,
    // blown up and blurred.
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);

    installTranslations();
}

void MainWindow::matchPageToScreen()
{
    // QtWebKit leaves a page in a graphics scene at one device pixel per CSS
    // pixel, whatever the screen's scale: its scripts and style sheets would
    // then pick images too small for the pixels the window really has.
    // The page host's member named scene hides QGraphicsView::scene().
    const QList<QGraphicsItem *> items = static_cast<QGraphicsView *>(view)->scene()->items();
    for (QGraphicsItem *item : items) {
        if (auto *web = qobject_cast<QGraphicsWebView *>(item->toGraphicsObject()))
            web->page()->setDevicePixelRatio(devicePixelRatioF());
    }
}
