#include "mwebpage.h"

#include "pageview.h"

#include <QDebug>
#include <QNetworkReply>
#include <QWebFrame>

namespace {

// The engine's own code for a port it refuses to connect to: as unreachable
// to the user as a closed one.
const int restrictedPortError = 103;

bool isNetworkFailure(const QWebPage::ErrorPageExtensionOption &failure)
{
    // A link of a scheme the engine does not load (mailto: and the like)
    // says nothing of the network: the page stays, as QtWebEngine keeps it.
    if (failure.domain == QWebPage::QtNetwork)
        return failure.error != QNetworkReply::OperationCanceledError
               && failure.error != QNetworkReply::ProtocolUnknownError;
    return failure.domain == QWebPage::WebKit && failure.error == restrictedPortError;
}

} // namespace

MWebPage::MWebPage(QObject *parent)
    : QWebPage(parent)
{
    connect(mainFrame(), &QWebFrame::loadStarted, this, [this] { unreachable = false; });
}

// The engine asks this for every frame whose load failed, except loads that
// were cancelled; what it would show instead stays the page host's to decide.
bool MWebPage::supportsExtension(Extension extension) const
{
    return extension == ErrorPageExtension;
}

bool MWebPage::extension(Extension extension, const ExtensionOption *option, ExtensionReturn *)
{
    if (extension != ErrorPageExtension)
        return false;
    const auto *failure = static_cast<const ErrorPageExtensionOption *>(option);
    if (failure->frame == mainFrame() && isNetworkFailure(*failure))
        unreachable = true;
    return false;
}

MWebPage::~MWebPage() = default;

void MWebPage::javaScriptConsoleMessage(const QString &message, int lineNumber, const QString &sourceID)
{
    qDebug() << PageView::consoleMessageText(message, lineNumber, sourceID);
}

QString MWebPage::userAgentForUrl(const QUrl &) const
{
    return PageView::userAgent();
}
