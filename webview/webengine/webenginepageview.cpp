#include "webenginepageview.h"

#include "errorpagescheme.h"
#include "pagebridge.h"
#include "pagecontainer.h"
#include "pagetrust.h"
#include "webenginepage.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>
#include <QtWebEngineWidgets/qtwebenginewidgetsversion.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// What Chromium shows in the main frame when the main frame's own load
// failed, and only then: a cancelled, stopped or replaced load leaves a
// document of the page's own. Page script can make no document there.
const char failedLoadDocument[] = "chrome-error://chromewebdata/";

QString json(const QString &text)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

bool commandLineHas(const QByteArray &option)
{
    QFile cmdline(QStringLiteral("/proc/self/cmdline"));
    return cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().split('\0').contains(option);
}

// Chromium's sandbox does not start for root, and Chromium then ends the
// process inside its first call with a line about a bug report. Say what
// to do instead, before anything is shown. Turning the sandbox off is left
// to those who do it knowingly (the test session does, as it runs as root).
void refuseRootWithoutSandbox()
{
    if (geteuid() != 0 || qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        return;
    // Chromium reads its switches from this variable when it is set, and
    // from the command line only when it is not.
    const bool switchedOff = qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS")
                                 ? qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS")
                                       .split(QLatin1Char(' '), Qt::SkipEmptyParts)
                                       .contains(QStringLiteral("--no-sandbox"))
                                 : commandLineHas("--no-sandbox");
    if (switchedOff)
        return;
    std::fputs("Melodrift cannot run as root: its web engine keeps each page in a sandbox, which does not start for "
               "root. Run Melodrift as a normal user.\n",
               stderr);
    std::exit(1);
}

// Where a script sent to the page may run: in the document shown when it
// was sent. Chromium may commit another document before the script's turn
// comes in the renderer, so the test is part of the script itself. A web
// page is known by its origin, the error page by its address; a document
// of any other kind never holds Player nor receives the program's answers.
QString shownDocumentTest(const QUrl &shown)
{
    if (shown == PageTrust::errorPageUrl())
        return QStringLiteral("location.href === ") + json(shown.toString(QUrl::FullyEncoded));
    const QString scheme = shown.scheme();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return QStringLiteral("location.protocol === ") + json(scheme + QLatin1Char(':'));
    QString host = shown.host(QUrl::FullyEncoded);
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    const int port = shown.port();
    const bool defaultPort = port < 0 || port == (scheme == QLatin1String("https") ? 443 : 80);
    return QStringLiteral("location.origin === ")
           + json(scheme + QLatin1String("://") + host
                  + (defaultPort ? QString() : QLatin1Char(':') + QString::number(port)));
}

QWebEngineScript userAgentScript()
{
    QFile file(QStringLiteral(":/webengine/useragent.js"));
    file.open(QIODevice::ReadOnly);
    QWebEngineScript script;
    script.setName(QStringLiteral("melodrift-user-agent"));
    script.setSourceCode(
        QString::fromUtf8(file.readAll()).replace(QLatin1String("MELODRIFT_USER_AGENT"), json(PageView::userAgent())));
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setRunsOnSubFrames(true);
    return script;
}

} // namespace

PageView *PageView::create(QWidget *parent)
{
    return new WebEnginePageView(parent);
}

QString PageView::engineName()
{
    return QStringLiteral("QtWebEngine " QTWEBENGINEWIDGETS_VERSION_STR);
}

void PageView::prepareProcess()
{
    refuseRootWithoutSandbox();
    // Chromium draws with contexts shared with the application's.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ErrorPageScheme::registerScheme();
}

WebEnginePageView::WebEnginePageView(QWidget *parent)
    : PageView(parent)
    , container(new PageContainer(parent))
    // A profile without a name keeps cookies, cache and storage in memory.
    , profile(new QWebEngineProfile(this))
    , errorPages(new ErrorPageScheme(this))
    , page(new WebEnginePage(profile, this))
    , view(new QWebEngineView(container))
    , bridge(new PageBridge(page, this))
{
    // Chromium cannot send the identity's trailing blank; requests go
    // without it, page script reads it whole.
    profile->setHttpUserAgent(userAgent());
    profile->installUrlSchemeHandler(ErrorPageScheme::name(), errorPages);
    page->scripts().insert(userAgentScript());
    view->setPage(page);
    // As under QtWebKit, no menu of the engine's own on the page.
    view->setContextMenuPolicy(Qt::NoContextMenu);
    container->setView(view);

    connect(page, &QWebEnginePage::loadStarted, this, &WebEnginePageView::started);
    connect(page, &QWebEnginePage::loadProgress, this, &PageView::loadProgress);
    connect(page, &QWebEnginePage::loadFinished, this, &WebEnginePageView::finished);
    connect(page, &WebEnginePage::rendererLost, this, &WebEnginePageView::reportLostRenderer);
    // Chromium signals no new document as such. The address changes with
    // most; a javascript: document replacing a loaded page changes only the
    // title.
    connect(page, &QWebEnginePage::urlChanged, this, &PageView::documentChanged);
    connect(page, &QWebEnginePage::titleChanged, this, &PageView::documentChanged);
}

WebEnginePageView::~WebEnginePageView()
{
    // The view first: left without our page, it would make one of its own
    // on Chromium's default profile. The page before its profile, which
    // Chromium otherwise releases with the page still holding it.
    delete container;
    delete page;
}

QWidget *WebEnginePageView::widget() const
{
    return container;
}

void WebEnginePageView::load(const QUrl &url)
{
    page->load(url);
}

void WebEnginePageView::showErrorPage(const QString &html, const QUrl &address)
{
    errorPages->serve(address, html);
    page->load(address);
}

QUrl WebEnginePageView::url() const
{
    return page->url();
}

QString WebEnginePageView::title() const
{
    return page->title();
}

bool WebEnginePageView::mainFrameUnreachable() const
{
    return unreachable;
}

void WebEnginePageView::publish(const QString &name, std::function<QObject *()> object, const PageTrust &trust)
{
    bridge->publish(name, std::move(object), trust);
}

void WebEnginePageView::evaluate(QString script, const std::function<void(const QVariant &)> &done)
{
    // A labelled block, so the script's own value is still the result and
    // a document the test turns away reports nothing of it. Added in place:
    // a large script grows where it is instead of being copied.
    script.prepend(QStringLiteral("melodrift: { if (!(") + shownDocumentTest(page->url())
                   + QStringLiteral(")) break melodrift;\n"));
    script.append(QLatin1String("\n}"));
    page->evaluate(std::move(script), QWebEngineScript::MainWorld, done);
}

void WebEnginePageView::started()
{
    // A failure still being looked into is reported first, as it came first.
    if (failedLoad >= 0)
        reportFailure(false);
    ++loadsStarted;
    unreachable = false;
    emit loadStarted();
}

// Chromium reports a failed load for much that failed nothing: a load the
// page or the user stopped or replaced, an HTTP error page, a download. The
// main frame's own failure is the one where Chromium now shows its own
// error document; the isolated world reads the address of what is shown.
void WebEnginePageView::finished(bool ok)
{
    if (ok) {
        emit documentChanged();
        emit loadFinished(true);
        return;
    }
    if (page->rendererDead()) {
        reportLostRenderer();
        return;
    }
    const int load = loadsStarted;
    failedLoad = load;
    page->evaluate(QStringLiteral("location.href"), QWebEngineScript::ApplicationWorld,
                   [this, load](const QVariant &shown) {
                       if (failedLoad != load)
                           return;
                       reportFailure(shown.toString() == QLatin1String(failedLoadDocument));
                   });
}

void WebEnginePageView::reportFailure(bool mainFrameUnreachable)
{
    failedLoad = -1;
    unreachable = mainFrameUnreachable;
    emit documentChanged();
    emit loadFinished(false);
}

// The page is gone with its renderer; the host replaces it as it replaces
// a page the network failed to bring. Once per death.
void WebEnginePageView::reportLostRenderer()
{
    if (!page->rendererDead() || unreachable)
        return;
    failedLoad = -1;
    unreachable = true;
    emit documentChanged();
    emit loadFinished(false);
}
