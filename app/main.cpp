#include "mainwindow.h"
#include "pageview.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDebug>

int main(int argc, char *argv[])
{
    PageView::prepareProcess();
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(MELODRIFT_VERSION " (") + PageView::engineName()
                                            + QLatin1Char(')'));
    QCommandLineParser options;
    options.addHelpOption();
    options.addVersionOption();
    options.process(app);
    qDebug().noquote() << "Melodrift" << QCoreApplication::applicationVersion();
    MainWindow::prepareApplication();

    MainWindow window;
    window.setFixedSize(640, 480);
    window.setVisible(true);
    return app.exec();
}
