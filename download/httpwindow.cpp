#include "httpwindow.h"
#include "paths.h"
#include "savepath.h"
#include "ui_authenticationdialog.h"
#include "urlrules.h"

#include <QAuthenticator>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSaveFile>
#include <QTextBoundaryFinder>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace {

// Measured against curl on loopback: larger buffers cost memory and, through
// page faults, speed as well.
const int readBufferSize = 256 * 1024;

// A connection that breaks off is tried again after one, two and four
// seconds: enough to ride out a wireless hand-over or a restarting server,
// short enough that the progress is seen to go on rather than stall.
const int maxRetries = 3;
const int firstRetryDelayMs = 1000;

// What a prompt shows of a text of the page or a server: a realm, an address
// or a name can run to kilobytes, and a prompt that shows them whole reaches
// past the screen with its buttons. The middle of a long text is left out,
// and so is the middle of a stretch that offers no place to wrap and would
// not fit, so every prompt keeps to a 640x480 screen.
const int maxShownCharacters = 300;
const int maxUnbrokenWidth = 400;

QString fitted(const QString &text, const QFontMetrics &metrics)
{
    QString kept = text;
    if (kept.size() > maxShownCharacters) {
        int head = maxShownCharacters * 2 / 3;
        int tail = maxShownCharacters - head - 1;
        if (kept.at(head - 1).isHighSurrogate())
            --head;
        if (kept.at(kept.size() - tail).isLowSurrogate())
            --tail;
        kept = kept.left(head) + QChar(0x2026) + kept.right(tail);
    }
    QString shown;
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, kept);
    int start = 0;
    while (breaks.toNextBoundary() != -1) {
        const QString stretch = kept.mid(start, breaks.position() - start);
        shown += metrics.horizontalAdvance(stretch) > maxUnbrokenWidth
                     ? metrics.elidedText(stretch, Qt::ElideMiddle, maxUnbrokenWidth)
                     : stretch;
        start = breaks.position();
    }
    return shown;
}

// QProgressDialog counts in int; halve both counts until the larger fits, so
// a transfer beyond 2 GiB still shows the right proportion.
int scaleShiftFor(qint64 largest)
{
    int shift = 0;
    while ((largest >> shift) > INT_MAX)
        ++shift;
    return shift;
}

} // namespace

HttpWindow::HttpWindow(QWidget *parent)
    : QDialog(parent)
{
    // Redirects are the user's call, never followed behind their back.
    network.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);

    urlEdit = new QLineEdit(QStringLiteral("http://www.example.com/melodrift/melodrift-setup.zip"));
    urlLabel = new QLabel(tr("&URL:"));
    urlLabel->setBuddy(urlEdit);
    statusLabel = new QLabel(tr("Please enter the URL of a file you want to download."));
    // File names come from the page; none may restyle the window.
    statusLabel->setTextFormat(Qt::PlainText);

    downloadButton = new QPushButton(tr("Download"));
    downloadButton->setDefault(true);
    quitButton = new QPushButton(tr("Quit"));
    quitButton->setAutoDefault(false);
    dialogButtons = new QDialogButtonBox(Qt::Horizontal);
    dialogButtons->addButton(downloadButton, QDialogButtonBox::ActionRole);
    dialogButtons->addButton(quitButton, QDialogButtonBox::RejectRole);

    progressDialog = new QProgressDialog(this);
    if (auto *bar = progressDialog->findChild<QProgressBar *>())
        bar->setAccessibleName(tr("Download progress"));
    // Qt shows a fresh progress dialog on its own after a few seconds; this
    // one appears only once a transfer reports progress.
    progressDialog->reset();

    connect(&network, &QNetworkAccessManager::authenticationRequired, this, &HttpWindow::slotAuthenticationRequired);
    connect(&network, &QNetworkAccessManager::sslErrors, this, &HttpWindow::sslErrors);
    connect(progressDialog, &QProgressDialog::canceled, this, &HttpWindow::cancelDownload);
    connect(quitButton, &QPushButton::clicked, this, &HttpWindow::close);
    retryTimer = new QTimer(this);
    retryTimer->setObjectName(QStringLiteral("retryTimer"));
    retryTimer->setSingleShot(true);
    connect(retryTimer, &QTimer::timeout, this, &HttpWindow::startRequest);

    auto *topLayout = new QHBoxLayout;
    topLayout->addWidget(urlLabel);
    topLayout->addWidget(urlEdit);
    auto *mainLayout = new QVBoxLayout;
    mainLayout->addLayout(topLayout);
    mainLayout->addWidget(statusLabel);
    mainLayout->addWidget(dialogButtons);
    setLayout(mainLayout);

    setWindowTitle(tr("HTTP"));
    urlEdit->setFocus();
}

void HttpWindow::downloadFile(const QString &urlText, const QString &fileName)
{
    url = QUrl(urlText);
    directory = Paths::downloadDirectory();
    QString refusal;
    targetPath = SavePath::resolve(directory, fileName, &refusal);
    if (targetPath.isEmpty()) {
        const QString name = fileName.isEmpty() ? SavePath::fallbackName() : fileName;
        inform(tr("Unable to save the file %1: %2.").arg(fit(SavePath::shown(directory + name)), refusal));
        return;
    }
    if (!UrlRules::isWeb(url)) {
        inform(tr("Download failed: %1.")
                   .arg(tr("only http and https addresses can be downloaded, not \"%1\"").arg(fit(url.toString()))));
        return;
    }

    QDir().mkdir(directory);
    if (refusedAsLink())
        return;
    if (QFile::exists(targetPath)
        && !askYesNo(
            tr("There already exists a file called %1 in the current directory. Overwrite?").arg(fit(targetPath)),
            QMessageBox::No)) {
        return;
    }
    if (!openTarget())
        return;

    auto *label = new QLabel(this);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setText(QStringLiteral("Downloading to ") + fitted(targetPath, label->fontMetrics()));
    progressDialog->setWindowTitle(tr("HTTP"));
    progressDialog->setLabel(label);

    downloadButton->setEnabled(false);
    aborted = false;
    writeFailure.clear();
    resumption.forget();
    retriesLeft = maxRetries;
    acceptedSslErrors.clear();
    startRequest();
}

void HttpWindow::cancelDownload()
{
    statusLabel->setText(tr("Download canceled."));
    aborted = true;
    // Inside a prompt the reply is mid-signal; the prompt's answer is dropped
    // instead, and the reply fails on its own.
    if (reply && !prompting)
        reply->abort();
    if (retryTimer->isActive()) {
        // Between two attempts no reply is left to finish and clean up.
        retryTimer->stop();
        discardFile();
    }
    downloadButton->setEnabled(true);
}

void HttpWindow::httpFinished()
{
    if (!aborted && writeFailure.isEmpty()) {
        if (!placeAnswer())
            return; // a fresh request took its place
        if (writeFailure.isEmpty() && (wasCutOff() || cameShort())) {
            httpReadyRead(); // what came before the break is kept
            if (writeFailure.isEmpty() && file->pos() > 0 && retriesLeft > 0) {
                retryLater();
                return;
            }
        }
    }
    progressDialog->reset();
    if (!writeFailure.isEmpty()) {
        discardFile();
        releaseReply();
        cannotSave(writeFailure);
        downloadButton->setEnabled(true);
        return;
    }
    if (aborted) {
        discardFile();
        releaseReply();
        return;
    }

    const QVariant redirectionTarget = reply->attribute(QNetworkRequest::RedirectionTargetAttribute);
    if (reply->error() != QNetworkReply::NoError) {
        fail(fit(reply->errorString()));
    } else if (!redirectionTarget.isNull()) {
        const QUrl target = url.resolved(redirectionTarget.toUrl());
        if (askYesNo(tr("Redirect to %1 ?").arg(fit(target.toString())), QMessageBox::NoButton) && !aborted) {
            followRedirect(target);
            return;
        }
    } else if (cameShort()) {
        fail(tr("the connection closed before the whole file had arrived"));
    } else {
        finishSuccessfully();
    }
    releaseReply();
    discardFile();
}

void HttpWindow::httpReadyRead()
{
    if (!file || !placeAnswer() || !writeFailure.isEmpty())
        return;
    // Through one reused buffer: readAll() would allocate, fault in and free
    // a fresh block for every signal, which costs more than the disk does.
    if (chunk.size() != readBufferSize)
        chunk.resize(readBufferSize);
    qint64 count;
    while ((count = reply->read(chunk.data(), readBufferSize)) > 0) {
        if (!writeAll(chunk.constData(), count)) {
            // A full disk will not take the rest either: stop fetching it.
            writeFailure = file->errorString();
            reply->abort();
            return;
        }
    }
}

// A short write says nothing of its cause; the next attempt fails with it.
bool HttpWindow::writeAll(const char *data, qint64 count)
{
    qint64 done = 0;
    while (done < count) {
        const qint64 written = file->write(data + done, count - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

void HttpWindow::updateDataReadProgress(qint64 bytesRead, qint64 totalBytes)
{
    if (aborted)
        return;
    // Counted over the whole file when only its rest is fetched.
    bytesRead += resumedAt;
    if (totalBytes > 0)
        totalBytes += resumedAt;
    if (totalBytes <= 0) {
        // Unknown size: a busy indicator rather than a bar that means nothing.
        const int shift = scaleShiftFor(bytesRead);
        progressDialog->setRange(0, 0);
        progressDialog->setValue(int(bytesRead >> shift));
        return;
    }
    const int shift = scaleShiftFor(qMax(bytesRead, totalBytes));
    progressDialog->setMaximum(int(totalBytes >> shift));
    progressDialog->setValue(int(bytesRead >> shift));
}

void HttpWindow::slotAuthenticationRequired(QNetworkReply *, QAuthenticator *authenticator)
{
    QDialog dialog;
    Ui::Dialog ui;
    ui.setupUi(&dialog);
    // The realm is the server's text.
    ui.siteDescription->setTextFormat(Qt::PlainText);
    const QFontMetrics metrics = ui.siteDescription->fontMetrics();
    ui.siteDescription->setText(
        tr("%1 at %2").arg(fitted(authenticator->realm(), metrics), fitted(url.host(), metrics)));
    ui.userEdit->setText(url.userName());
    ui.passwordEdit->setText(url.password());
    // Sized for what it shows, wrapped rather than widened.
    ui.siteDescription->setMaximumWidth(maxUnbrokenWidth);
    dialog.adjustSize();

    prompting = true;
    const bool accepted = dialog.exec() == QDialog::Accepted;
    prompting = false;
    if (accepted && !aborted) {
        authenticator->setUser(ui.userEdit->text());
        authenticator->setPassword(ui.passwordEdit->text());
    }
}

void HttpWindow::sslErrors(QNetworkReply *, const QList<QSslError> &errors)
{
    // The connection for the rest of a file meets the certificate let pass
    // for its start; the same errors of the same certificate are not asked
    // about twice.
    const auto accepted = [this](const QSslError &error) { return acceptedSslErrors.contains(error); };
    if (reply && !errors.isEmpty() && std::all_of(errors.cbegin(), errors.cend(), accepted)) {
        reply->ignoreSslErrors();
        return;
    }
    QStringList descriptions;
    for (const QSslError &error : errors)
        descriptions << error.errorString();

    QMessageBox box(QMessageBox::Warning, tr("HTTP"),
                    tr("One or more SSL errors has occurred: %1").arg(descriptions.join(QStringLiteral(", "))),
                    QMessageBox::Ignore | QMessageBox::Abort, this);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ignore)
        ->setAccessibleDescription(tr("Downloads all the same: the server may not be the one it claims to be"));
    box.button(QMessageBox::Abort)->setAccessibleDescription(tr("Stops the download"));
    // Enter or Escape must never accept a forged certificate.
    box.setDefaultButton(QMessageBox::Abort);
    box.setEscapeButton(QMessageBox::Abort);
    prompting = true;
    const int answer = box.exec();
    prompting = false;
    if (answer == QMessageBox::Ignore && !aborted && reply) {
        reply->ignoreSslErrors();
        acceptedSslErrors = errors;
    }
}

void HttpWindow::startRequest()
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // The file's bytes as the server keeps them: ranges count those, and an
    // answer Qt unpacks on the fly passes for whole when it breaks off.
    request.setRawHeader("Accept-Encoding", "identity");
    resumedAt = resumption.isPossible() ? file->pos() : 0;
    if (resumedAt > 0)
        resumption.askForRest(request, resumedAt);
    answerPlaced = false;
    reply = network.get(request);
    // When the disk is slower than the network, hold the transfer back
    // rather than piling the file up in memory.
    reply->setReadBufferSize(readBufferSize);
    connect(reply, &QNetworkReply::finished, this, &HttpWindow::httpFinished);
    connect(reply, &QNetworkReply::readyRead, this, &HttpWindow::httpReadyRead);
    connect(reply, &QNetworkReply::downloadProgress, this, &HttpWindow::updateDataReadProgress);
}

// The start of an answer decides where its bytes go: after those already
// kept, over them from the beginning, or nowhere, when it claims to be the
// rest but is not, and a fresh request takes its place (false).
bool HttpWindow::placeAnswer()
{
    if (answerPlaced)
        return true;
    answerPlaced = true;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status / 100 != 2)
        return true; // errors and redirects take their usual way
    if (status == 206 && resumedAt > 0) {
        if (resumption.continuesAt(*reply, resumedAt))
            return true;
        refetch();
        return false;
    }
    // The whole file: a changed one, or from a server that ignores ranges.
    if (file->pos() > 0 && !startOver()) {
        reply->abort();
        return true;
    }
    if (status == 206)
        resumption.forget();
    else
        resumption.remember(*reply);
    return true;
}

bool HttpWindow::startOver()
{
    resumedAt = 0;
    if (file->resize(0))
        return true;
    writeFailure = file->errorString();
    return false;
}

// Its bytes would not continue the kept ones: dropped unread.
void HttpWindow::refetch()
{
    reply->disconnect(this);
    reply->abort();
    releaseReply();
    resumption.forget();
    startRequest();
}

// Broken off by the network, not refused by the server, the user or the
// disk, and not yet tried too often.
bool HttpWindow::wasCutOff() const
{
    switch (reply->error()) {
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::UnknownNetworkError:
        break;
    default:
        return false;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return retriesLeft > 0 && (!status.isValid() || status.toInt() / 100 == 2);
}

// A transfer that ended without an error but short of the length its
// answer announced was cut off all the same: saved, it would pass for the
// whole file.
bool HttpWindow::cameShort()
{
    if (reply->error() != QNetworkReply::NoError || !file)
        return false;
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    if (!announced.isValid())
        return false;
    httpReadyRead();
    return writeFailure.isEmpty() && file->pos() < resumedAt + announced.toLongLong();
}

void HttpWindow::retryLater()
{
    releaseReply();
    const int done = maxRetries - retriesLeft--;
    retryTimer->start(firstRetryDelayMs << done);
}

// QSaveFile writes through a link to wherever it leads.
bool HttpWindow::refusedAsLink()
{
    const QString refusal = SavePath::linkRefusal(directory, targetPath);
    if (refusal.isEmpty())
        return false;
    cannotSave(refusal);
    return true;
}

bool HttpWindow::openTarget()
{
    if (refusedAsLink())
        return false;
    file = new QSaveFile(targetPath, this);
    // Unbuffered, a write that fails says why (a full disk, say) at once;
    // through Qt's buffer a short write only leaves "Unknown error".
    if (file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return true;
    cannotSave(file->errorString());
    discardFile();
    return false;
}

// Dropping an uncommitted save file removes what it wrote; the target,
// old or absent, stays as it was.
void HttpWindow::discardFile()
{
    delete file;
    file = nullptr;
}

void HttpWindow::releaseReply()
{
    if (reply)
        reply->deleteLater();
    reply = nullptr;
}

void HttpWindow::finishSuccessfully()
{
    httpReadyRead(); // whatever the reply still holds
    // A link planted while the file arrived would take it elsewhere.
    QString failure = writeFailure.isEmpty() ? SavePath::linkRefusal(directory, targetPath) : writeFailure;
    if (failure.isEmpty() && file->commit()) {
        const QString shownName = QFileInfo(QUrl(urlEdit->text()).path()).fileName();
        statusLabel->setText(tr("Downloaded %1 to current directory.").arg(shownName));
    } else {
        if (failure.isEmpty())
            failure = file->errorString();
        discardFile();
        cannotSave(failure);
    }
    downloadButton->setEnabled(true);
}

void HttpWindow::fail(const QString &reason)
{
    discardFile();
    inform(tr("Download failed: %1.").arg(reason));
    downloadButton->setEnabled(true);
}

void HttpWindow::followRedirect(const QUrl &target)
{
    releaseReply();
    discardFile();
    if (!UrlRules::isWeb(target)) {
        fail(tr("the server redirected to \"%1\", which is not an http or https address").arg(fit(target.toString())));
        return;
    }
    url = target;
    resumption.forget();
    acceptedSslErrors.clear();
    // A fresh save file: the redirect's own body never reaches the target.
    if (!openTarget()) {
        downloadButton->setEnabled(true);
        return;
    }
    startRequest();
}

// The boxes show names and messages of the page and the server as they are,
// never as markup.
bool HttpWindow::askYesNo(const QString &text, int defaultButton)
{
    QMessageBox box(QMessageBox::Question, tr("HTTP"), text, QMessageBox::Yes | QMessageBox::No, this);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::StandardButton(defaultButton));
    return box.exec() == QMessageBox::Yes;
}

void HttpWindow::cannotSave(const QString &reason)
{
    inform(tr("Unable to save the file %1: %2.").arg(fit(targetPath), reason));
}

QString HttpWindow::fit(const QString &text) const
{
    return fitted(text, fontMetrics());
}

void HttpWindow::inform(const QString &text)
{
    QMessageBox box(QMessageBox::Information, tr("HTTP"), text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
