#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QWidget>

class BrowserView;
class DesktopIntegration;

// The one window of the application; the page host fills all of it.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    MainWindow();

    // What the process sets up before the window exists: script and
    // plug-ins in every page, settings kept as INI files, the id the
    // desktop knows the application by, icons drawn for scaled screens,
    // the texts in the user's language.
    static void prepareApplication();

    BrowserView *browserView() const { return view; }

private:
    void matchPageToScreen();
    void integrateWithDesktop();
    void bringForward();

    BrowserView *view;
    DesktopIntegration *desktop = nullptr;
};

#endif // MAINWINDOW_H
