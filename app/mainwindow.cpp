#include "mainwindow.h"

#include "applicationsetup.h"
#include "browserview.h"
#include "desktopintegration.h"
#include "mediaplayer.h"

#include <QApplication>

MainWindow::MainWindow()
    : QWidget(nullptr)
{
    // The window keeps no title of its own; assistive technology names it.
    setAccessibleName(QStringLiteral("Melodrift"));
    view = new BrowserView(this);
    view->setVisible(true);
    // No layout: the window's size is fixed, so the view keeps this size.
    view->resize(width(), height());
    integrateWithDesktop();
}

// The desktop's parts ask this window about its page as it hides, and
// QWidget's destructor hides it after this class's members are gone: they
// go first.
MainWindow::~MainWindow()
{
    delete desktop;
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
    else
        show();
    // Wayland leaves stacking and focus to the compositor and refuses a
    // client that asks for them (with a warning); asking for the user's
    // attention is what it allows.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        QApplication::alert(this);
        return;
    }
    raise();
    activateWindow();
}

void MainWindow::play(const QString &location)
{
    view->listeningPlayer()->playLocation(location);
}

void MainWindow::prepareApplication()
{
    ApplicationSetup::prepare();
}
