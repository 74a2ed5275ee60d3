#ifndef HTTPWINDOW_H
#define HTTPWINDOW_H

#include "resumption.h"

#include <QDialog>
#include <QList>
#include <QNetworkAccessManager>
#include <QSslError>
#include <QString>
#include <QTimer>
#include <QUrl>

class QAuthenticator;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QNetworkReply;
class QProgressDialog;
class QPushButton;
class QSaveFile;

// Downloads one file at a time into the download directory. The window itself
// stays hidden; the user sees its progress dialog and its questions.
class HttpWindow : public QDialog
{
    Q_OBJECT

public:
    explicit HttpWindow(QWidget *parent = nullptr);

    void downloadFile(const QString &url, const QString &fileName);

    // From the first request of a download until its last reply is handled.
    bool isDownloading() const { return reply != nullptr || retryTimer->isActive(); }

private slots:
    void cancelDownload();
    void httpFinished();
    void httpReadyRead();
    void updateDataReadProgress(qint64 bytesRead, qint64 totalBytes);
    void slotAuthenticationRequired(QNetworkReply *, QAuthenticator *authenticator);
    void sslErrors(QNetworkReply *, const QList<QSslError> &errors);

private:
    void startRequest();
    bool placeAnswer();
    bool startOver();
    void refetch();
    bool wasCutOff() const;
    bool cameShort();
    void retryLater();
    bool refusedAsLink();
    bool openTarget();
    bool writeAll(const char *data, qint64 count);
    void discardFile();
    void releaseReply();
    void finishSuccessfully();
    void fail(const QString &reason);
    void followRedirect(const QUrl &target);
    bool askYesNo(const QString &text, int defaultButton);
    void inform(const QString &text);
    void cannotSave(const QString &reason);
    // A text of the page or a server as a prompt shows it.
    QString fit(const QString &text) const;

    QLabel *statusLabel;
    QLabel *urlLabel;
    QLineEdit *urlEdit;
    QProgressDialog *progressDialog;
    QPushButton *downloadButton;
    QPushButton *quitButton;
    QDialogButtonBox *dialogButtons;

    QUrl url;
    QNetworkAccessManager network;
    QNetworkReply *reply = nullptr;
    // Written beside the target and moved over it only once the whole
    // transfer has arrived, so a failed download never costs the old file.
    QSaveFile *file = nullptr;
    bool aborted = false;
    // Why the file could not take what arrived ("No space left on device").
    QString writeFailure;

    QString directory;
    QString targetPath;
    QByteArray chunk;
    // A prompt runs a nested event loop inside the access manager's signal;
    // the reply must not be aborted from under it.
    bool prompting = false;

    // A transfer cut off after part of the file arrived goes on from there.
    Resumption resumption;
    qint64 resumedAt = 0; // where the current answer's bytes go; 0: the whole file
    bool answerPlaced = false;
    int retriesLeft = 0;
    QTimer *retryTimer;
    QList<QSslError> acceptedSslErrors; // let pass by the user
};

#endif // HTTPWINDOW_H
