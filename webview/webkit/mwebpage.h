#ifndef MWEBPAGE_H
#define MWEBPAGE_H

#include <QWebPage>

// The chart page: presents the identity the chart service expects, passes
// page script's console messages to the debug output, and tells a main frame
// the network failed from loads that were merely stopped or replaced.
class MWebPage : public QWebPage
{
    Q_OBJECT
public:
    explicit MWebPage(QObject *parent);
    ~MWebPage() override;

    // Whether the main frame's latest load failed for want of the network:
    // the server unreachable or the connection lost. Not a load that page
    // script or the user stopped, a javascript: navigation, content the
    // engine does not show, nor a frame inside the page that failed; the
    // engine reports every one of those as a failed load too.
    bool mainFrameUnreachable() const { return unreachable; }

    bool supportsExtension(Extension extension) const override;
    bool extension(Extension extension, const ExtensionOption *option, ExtensionReturn *output) override;

protected:
    void javaScriptConsoleMessage(const QString &message, int lineNumber, const QString &sourceID) override;
    QString userAgentForUrl(const QUrl &url) const override;

private:
    bool unreachable = false;
};

#endif // MWEBPAGE_H
