#include "mainwindow.h"
#include "pageview.h"
#include "singleinstance.h"
#include "urlrules.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDebug>

#include <cstdio>

namespace {

void complain(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

// Why the address given cannot be played; empty when it can.
QString refusalOf(const QStringList &addresses)
{
    if (addresses.size() > 1)
        return QCoreApplication::translate("main", "Melodrift plays one address at a time, not %1.")
            .arg(addresses.size());
    if (!addresses.isEmpty() && !UrlRules::isWebMedia(addresses.first()))
        return QCoreApplication::translate("main", "Melodrift plays only http and https addresses, not \"%1\".")
            .arg(addresses.first().left(200));
    return QString();
}

} // namespace

int main(int argc, char *argv[])
{
    PageView::prepareProcess();
    QApplication app(argc, argv);
    // What the desktop, the settings file and the window's title know it by,
    // whatever the executable is called: a build with the suites also makes
    // it for its other engine, as melodrift-<engine>.
    QCoreApplication::setApplicationName(QStringLiteral("melodrift"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MELODRIFT_VERSION " (") + PageView::engineName()
                                            + QLatin1Char(')'));
    // Before the options, whose help and refusals are in the user's language.
    MainWindow::prepareApplication();
    QCommandLineParser options;
    options.addHelpOption();
    options.addVersionOption();
    options.addPositionalArgument(
        QStringLiteral("address"),
        QCoreApplication::translate("main", "An http or https address of a song or video to play, in the Melodrift "
                                            "already running if there is one."),
        QStringLiteral("[address]"));
    options.process(app);
    qDebug().noquote() << "Melodrift" << QCoreApplication::applicationVersion();

    const QStringList addresses = options.positionalArguments();
    const QString refusal = refusalOf(addresses);
    if (!refusal.isEmpty())
        complain(refusal);
    const QString address = refusal.isEmpty() ? addresses.value(0) : QString();

    // Before any window or media control: a later start shows neither.
    SingleInstance instance;
    switch (instance.start(address)) {
    case SingleInstance::HandedOver:
        return refusal.isEmpty() ? EXIT_SUCCESS : EXIT_FAILURE;
    case SingleInstance::Failed:
        complain(QCoreApplication::translate("main", "Melodrift is running but did not answer: %1")
                     .arg(instance.errorString()));
        return EXIT_FAILURE;
    case SingleInstance::Run:
        break;
    }
    if (!refusal.isEmpty())
        return EXIT_FAILURE;

    MainWindow window;
    QObject::connect(&instance, &SingleInstance::activated, &window, &MainWindow::bringForward);
    QObject::connect(&instance, &SingleInstance::opened, &window, &MainWindow::play);
    window.setFixedSize(640, 480);
    window.setVisible(true);
    if (!address.isEmpty())
        window.play(QString::fromUtf8(QUrl(address, QUrl::StrictMode).toEncoded()));
    return app.exec();
}
