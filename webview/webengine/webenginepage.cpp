#include "webenginepage.h"

#include "pageview.h"

#include <QAuthenticator>
#include <QDebug>
#include <QTimer>
#include <QWebEngineCertificateError>
#include <QWebEngineSettings>

WebEnginePage::WebEnginePage(QWebEngineProfile *profile, QObject *parent)
    : QWebEnginePage(profile, parent)
{
    QWebEngineSettings *s = settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, true);
    // Chromium's own page for a failed main-frame load is how the page host
    // learns that the network failed (see WebEnginePageView).
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
    // Reads false, yet Chromium holds the page's media back until a click
    // unless it is set.
    s->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    // As QtWebKit's default: window.open() outside a click gets nothing.
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    // Chromium would hand a link of a scheme it does not know to the
    // desktop; the page reaches the desktop through its script object only.
    s->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
    setBackgroundColor(Qt::black);

    // No prompt, as under QtWebKit: a null authenticator cancels at once
    // (an untouched one makes Chromium ask again, 32 times).
    connect(this, &QWebEnginePage::authenticationRequired, this,
            [](const QUrl &, QAuthenticator *authenticator) { *authenticator = QAuthenticator(); });
    connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
            [](const QUrl &, QAuthenticator *authenticator, const QString &) { *authenticator = QAuthenticator(); });

    connect(this, &QWebEnginePage::renderProcessTerminated, this, &WebEnginePage::rendererTerminated);
    connect(this, &QWebEnginePage::loadStarted, this, [this] { loadSinceDeath = dead; });
    connect(this, &QWebEnginePage::loadFinished, this, [this] {
        if (loadSinceDeath)
            dead = loadSinceDeath = false;
    });
}

WebEnginePage::~WebEnginePage() = default;

void WebEnginePage::evaluate(QString script, quint32 world, std::function<void(const QVariant &)> done)
{
    if (dead) {
        if (done)
            QTimer::singleShot(0, this, [done] { done(QVariant()); });
        return;
    }
    const quint64 id = ++lastEvaluation;
    if (done)
        waiting->insert(id, std::move(done));
    // Chromium answers what is left while the page is being destroyed:
    // whoever asked is gone by then.
    std::weak_ptr<Answers> answers = waiting;
    runJavaScript(script, world, [answers, id](const QVariant &result) {
        const std::shared_ptr<Answers> live = answers.lock();
        if (!live)
            return;
        if (std::function<void(const QVariant &)> answer = live->take(id))
            answer(result);
    });
}

void WebEnginePage::rendererTerminated(RenderProcessTerminationStatus status)
{
    if (status == NormalTerminationStatus)
        return;
    dead = true;
    loadSinceDeath = false;
    // A dead renderer answers nothing that was sent to it.
    const QList<std::function<void(const QVariant &)>> unanswered = waiting->values();
    waiting->clear();
    for (const auto &answer : unanswered)
        answer(QVariant());
    // Loading from inside the engine's signal brings the browser process down.
    QTimer::singleShot(0, this, &WebEnginePage::rendererLost);
}

void WebEnginePage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &message, int lineNumber,
                                             const QString &sourceID)
{
    qDebug() << PageView::consoleMessageText(message, lineNumber, sourceID);
}

// Refused, as QtWebKit refuses a certificate it cannot verify: the load
// fails and the page host shows its error page.
bool WebEnginePage::certificateError(const QWebEngineCertificateError &)
{
    return false;
}

// No other window, as under QtWebKit: a link or window.open() for a new
// window does nothing, and a link clicked with Ctrl, Shift or the middle
// button opens in the page itself, as QtWebKit opens it.
QWebEnginePage *WebEnginePage::createWindow(WebWindowType)
{
    return nullptr;
}
