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
    ~MainWindow() override;

    // What the process sets up before the window exists (ApplicationSetup);
    // the page's engine sets up its own with its first page.
    static void prepareApplication();

    BrowserView *browserView() const { return view; }

public slots:
    // Shows the window, hidden or minimised as it may be, in front.
    void bringForward();
    // Plays a network location in the listening player, as the page's songs play.
    void play(const QString &location);

private:
    void integrateWithDesktop();

    BrowserView *view;
    DesktopIntegration *desktop = nullptr;
};

#endif // MAINWINDOW_H
