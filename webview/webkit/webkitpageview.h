#ifndef WEBKITPAGEVIEW_H
#define WEBKITPAGEVIEW_H

#include "pageview.h"

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
    void publish(const QString &name, std::function<QObject *()> object,
                 std::function<bool(const QUrl &)> mayHold) override;
    void evaluate(const QString &script, const std::function<void(const QVariant &)> &done) override;

private:
    void windowObjectCleared();
    void publishInDocumentShown();

    WebKitSceneView *view;
    QString publishedName;
    std::function<QObject *()> publishedObject;
    std::function<bool(const QUrl &)> mayHoldObject;
};

#endif // WEBKITPAGEVIEW_H
