#include "mainwindow.h"

#include <QApplication>
#include <QSettings>
#include <QWebSettings>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    QWebSettings *web = QWebSettings::globalSettings();
    web->setAttribute(QWebSettings::JavascriptEnabled, true);
    web->setAttribute(QWebSettings::PluginsEnabled, true);

    QSettings::setDefaultFormat(QSettings::IniFormat);

    MainWindow window;
    window.setFixedSize(640, 480);
    window.setVisible(true);
    return app.exec();
}
