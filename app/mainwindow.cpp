#include "mainwindow.h"

#include "browserview.h"

MainWindow::MainWindow()
    : QWidget(nullptr)
{
    view = new BrowserView(this);
    view->setVisible(true);
    // No layout: the window's size is fixed, so the view keeps this size.
    view->resize(width(), height());
}
