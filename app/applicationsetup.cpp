#include "applicationsetup.h"

#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QSettings>
#include <QTranslator>

#include <memory>

namespace {
// A language without a catalogue keeps the English the texts are written in.
void installTranslator(const QString &name, const QString &directory)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(), name, QStringLiteral("_"), directory))
        return;
    translator->setParent(QCoreApplication::instance());
    QCoreApplication::installTranslator(translator.release());
}
} // namespace

// Outside any namespace: the resource's initialiser lives in the global one.
static void installTranslations()
{
    // Tests prepare the same application object for every window they open.
    static QPointer<QCoreApplication> translated;
    if (translated == QCoreApplication::instance())
        return;
    translated = QCoreApplication::instance();

    // Qt's own texts: the standard buttons, the file and input dialogs.
    // Debian ships them in qttranslations5-l10n; without it they stay English.
    installTranslator(QStringLiteral("qtbase"), QLibraryInfo::location(QLibraryInfo::TranslationsPath));
    Q_INIT_RESOURCE(translations);
    installTranslator(QStringLiteral("melodrift"), QStringLiteral(":/translations"));
}

namespace ApplicationSetup {

void prepare()
{
    QSettings::setDefaultFormat(QSettings::IniFormat);

    // The desktop matches windows, the desktop entry and the media controls
    // by this id; the executable keeps its short name.
    QGuiApplication::setDesktopFileName(QStringLiteral(MELODRIFT_APP_ID));
    // Without it an icon on a scaled screen is drawn from its small image,
    // blown up and blurred.
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);

    installTranslations();
}

} // namespace ApplicationSetup
