#include "errorpagescheme.h"

#include "pagetrust.h"

#include <QBuffer>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

ErrorPageScheme::ErrorPageScheme(QObject *parent)
    : QWebEngineUrlSchemeHandler(parent)
{
}

QByteArray ErrorPageScheme::name()
{
    return PageTrust::errorPageUrl().scheme().toLatin1();
}

void ErrorPageScheme::registerScheme()
{
    QWebEngineUrlScheme scheme(name());
    // Addresses without a host, like the error page's; a local scheme, so
    // network pages can neither navigate to it nor frame it.
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::LocalScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

void ErrorPageScheme::serve(const QUrl &address, const QString &html)
{
    this->address = address;
    // Chromium takes no charset with the type here: the byte order mark
    // says UTF-8, for a translated text.
    this->html = QByteArrayLiteral("\xef\xbb\xbf") + html.toUtf8();
}

void ErrorPageScheme::requestStarted(QWebEngineUrlRequestJob *job)
{
    // Loaded by the program, or again by the error page itself.
    const QUrl initiator = job->initiator();
    if (job->requestUrl() != address || (!initiator.isEmpty() && initiator.scheme() != QLatin1String(name()))) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    auto *body = new QBuffer(job);
    body->setData(html);
    job->reply(QByteArrayLiteral("text/html"), body);
}
