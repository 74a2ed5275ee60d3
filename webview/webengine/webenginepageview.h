#ifndef WEBENGINEPAGEVIEW_H
#define WEBENGINEPAGEVIEW_H

#include "pageview.h"

#include <QPointer>

class ErrorPageScheme;
class PageBridge;
class PageContainer;
class QWebEngineProfile;
class QWebEngineView;
class WebEnginePage;

// The page in QtWebEngine: Chromium shows it from processes of its own,
// with the sandbox on, and page script reaches the published object only
// through a web channel held by the program's isolated world (PageBridge).
// The page lives in a profile of its own that keeps nothing on disk, as
// QtWebKit keeps nothing.
class WebEnginePageView : public PageView
{
    Q_OBJECT
public:
    explicit WebEnginePageView(QWidget *parent);
    ~WebEnginePageView() override;

    QWidget *widget() const override;
    void load(const QUrl &url) override;
    void showErrorPage(const QString &html, const QUrl &address) override;
    QUrl url() const override;
    QString title() const override;
    bool mainFrameUnreachable() const override;
    void publish(const QString &name, std::function<QObject *()> object, const PageTrust &trust) override;
    void evaluate(QString script, const std::function<void(const QVariant &)> &done) override;

private:
    void started();
    void finished(bool ok);
    void reportFailure(bool unreachable);
    void reportLostRenderer();

    QPointer<PageContainer> container;
    QWebEngineProfile *profile;
    ErrorPageScheme *errorPages;
    WebEnginePage *page;
    QWebEngineView *view;
    PageBridge *bridge;

    int loadsStarted = 0;
    // The load whose failure is being looked into, or -1.
    int failedLoad = -1;
    bool unreachable = false;
};

#endif // WEBENGINEPAGEVIEW_H
