#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    MainWindow::prepareApplication();

    MainWindow window;
    window.setFixedSize(640, 480);
    window.setVisible(true);
    return app.exec();
}
