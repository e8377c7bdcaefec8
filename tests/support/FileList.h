#pragma once

// Data as a file manager offers it when files are dragged or copied: a list
// of local file URLs. The caller owns the result.

#include <QMimeData>
#include <QStringList>
#include <QUrl>

namespace mugrove::testing {

inline QMimeData* Files(const QStringList& paths)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls << QUrl::fromLocalFile(p);
    data->setUrls(urls);
    return data;
}

} // namespace mugrove::testing
