#include "ThumbnailLoader.h"

#include "core/StorageManager.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace {

QThreadPool& pool()
{
    static QThreadPool* instance = [] {
        auto* threads = new QThreadPool;
        threads->setMaxThreadCount(1);
        threads->setExpiryTimeout(5000);
        return threads;
    }();
    return *instance;
}

} // namespace

namespace ThumbnailLoader {

QFuture<QImage> load(StorageManager& storage, const QString& name, const QSize& size)
{
    StorageManager* store = &storage;
    return QtConcurrent::run(&pool(), [store, name, size] { return store->loadThumbnail(name, size); });
}

void waitForDone()
{
    pool().waitForDone();
}

} // namespace ThumbnailLoader
