#ifndef WEBKITPAGEVIEW_H
#define WEBKITPAGEVIEW_H

#include "pagetrust.h"
#include "pageview.h"

#include <optional>

class WebKitSceneView;

// The page in QtWebKit: page script runs in the program's own process and
// reaches the published object through the frame's window object, which the
// engine clears for every new document.
class WebKitPageView : public PageView
{
    Q_OBJECT
public:
    explicit WebKitPageView(QWidget *parent);
    ~WebKitPageView() override;

    QWidget *widget() const override;
    void load(const QUrl &url) override;
    void showErrorPage(const QString &html, const QUrl &address) override;
    QUrl url() const override;
    QString title() const override;
    bool mainFrameUnreachable() const override;
    void publish(const QString &name, std::function<QObject *()> object, const PageTrust &trust) override;
    void evaluate(QString script, const std::function<void(const QVariant &)> &done) override;

private:
    void windowObjectCleared();
    void publishInDocumentShown();

    WebKitSceneView *view;
    QString publishedName;
    std::function<QObject *()> publishedObject;
    std::optional<PageTrust> trust;
};

#endif // WEBKITPAGEVIEW_H
