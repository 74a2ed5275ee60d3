#ifndef URLCATCHER_H
#define URLCATCHER_H

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

// Stands in for the desktop's URL and file handlers while it lives, so tests
// see what the application hands to the desktop and nothing is launched.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    explicit UrlCatcher(const QStringList &schemes = {QStringLiteral("http"), QStringLiteral("https"),
                                                      QStringLiteral("file"), QStringLiteral("ftp"),
                                                      QStringLiteral("mailto")});
    ~UrlCatcher() override;

    QList<QUrl> urls;

public slots:
    void openUrl(const QUrl &url);

private:
    QStringList schemes;
};

#endif // URLCATCHER_H
