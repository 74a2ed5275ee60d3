#ifndef RESUMPTION_H
#define RESUMPTION_H

#include <QByteArray>
#include <QtGlobal>

class QNetworkReply;
class QNetworkRequest;

// What it takes to fetch only the rest of a file after a dropped connection,
// and to be sure that the rest belongs to the same file: the bytes already
// kept and the ones asked for must come from one version of it, or the saved
// file would be two files spliced together.
class Resumption
{
public:
    // Takes the validator and length of an answer that carries the whole
    // file; without a validator that proves the same version, forgets.
    void remember(const QNetworkReply &wholeFile);
    void forget();
    bool isPossible() const { return !validator.isEmpty(); }

    // Asks for the bytes from `offset` on, if the file is still the one
    // remembered; otherwise the server sends all of it.
    void askForRest(QNetworkRequest &request, qint64 offset) const;
    // Whether a partial (206) answer to askForRest() is exactly that rest
    // of that same version.
    bool continuesAt(const QNetworkReply &partial, qint64 offset) const;

private:
    QByteArray validatorHeader; // "ETag" or "Last-Modified"
    QByteArray validator;
    qint64 size = -1; // unknown
};

#endif // RESUMPTION_H
