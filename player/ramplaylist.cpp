#include "ramplaylist.h"

#include <QFile>

namespace RamPlaylist {

QList<QUrl> read(QIODevice &device)
{
    QList<QUrl> urls;
    while (!device.atEnd()) {
        const QByteArray line = device.readLine().trimmed();
        if (line.isEmpty())
            continue;
        const QUrl url = QUrl::fromEncoded(line);
        if (url.isValid())
            urls << url;
    }
    return urls;
}

QList<QUrl> read(const QStringList &fileNames)
{
    QList<QUrl> urls;
    for (const QString &name : fileNames) {
        QFile file(name);
        // Text mode, so that CR LF line ends read like LF.
        if (file.open(QIODevice::ReadOnly | QIODevice::Text))
            urls << read(file);
    }
    return urls;
}

} // namespace RamPlaylist
