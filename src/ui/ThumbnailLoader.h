#pragma once

#include <QFuture>
#include <QImage>
#include <QSize>
#include <QString>

class StorageManager;

// Thumbnails decode on one background thread of their own, so scrolling keeps a core for painting
// even on a two-core machine.
namespace ThumbnailLoader {

QFuture<QImage> load(StorageManager& storage, const QString& name, const QSize& size);
// Blocks until every requested thumbnail has been decoded; at shutdown and in tests.
void waitForDone();

} // namespace ThumbnailLoader
