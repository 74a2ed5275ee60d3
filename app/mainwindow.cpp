#include "mainwindow.h"

#include "browserview.h"

#include <QSettings>
#include <QWebSettings>

MainWindow::MainWindow()
    : QWidget(nullptr)
{
    view = new BrowserView(this);
    view->setVisible(true);
    // No layout: the window's size is fixed, so the view keeps this size.
    view->resize(width(), height());
}

void MainWindow::prepareApplication()
{
    QWebSettings *web = QWebSettings::globalSettings();
    web->setAttribute(QWebSettings::JavascriptEnabled, true);
    web->setAttribute(QWebSettings::PluginsEnabled, true);

    QSettings::setDefaultFormat(QSettings::IniFormat);
}
