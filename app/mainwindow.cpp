#include "mainwindow.h"

#include "browserview.h"
#include "desktopintegration.h"
#include "mediaplayer.h"

#include <QSettings>
#include <QWebSettings>

MainWindow::MainWindow()
    : QWidget(nullptr)
{
    view = new BrowserView(this);
    view->setVisible(true);
    // No layout: the window's size is fixed, so the view keeps this size.
    view->resize(width(), height());
    integrateWithDesktop();
}

void MainWindow::integrateWithDesktop()
{
    desktop = new DesktopIntegration(this);
    desktop->setCanGoNext([this] { return view->holdsChartPage(); });
    // The page host may have made its first player by now, or announce it
    // later, like every player after it.
    const auto add = [this](MediaPlayer *player) { desktop->addPlayer(player, player == view->listeningPlayer()); };
    if (view->listeningPlayer())
        add(view->listeningPlayer());
    if (view->currentPlayer())
        add(view->currentPlayer());
    connect(view, &BrowserView::playerCreated, desktop, add);
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
}
