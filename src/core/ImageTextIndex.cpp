#include "ImageTextIndex.h"

#include "HistoryModel.h"
#include "StorageManager.h"
#include "platform/ImageCodec.h"
#include "platform/Preferences.h"
#include "platform/TextRecognizer.h"
#include "platform/freedesktop/PowerSupply.h"

#include <QDir>
#include <QIODevice>

#include <algorithm>
#include <sys/resource.h>
#include <unistd.h>

ImageTextIndex::ImageTextIndex(HistoryModel& history, StorageManager& storage, Preferences& preferences,
                               TextRecognizer& recognizer, QObject* parent)
    : QObject(parent)
    , m_history(history)
    , m_storage(storage)
    , m_preferences(preferences)
    , m_recognizer(recognizer)
    , m_unavailableReason(recognizer.unavailableReason())
    , m_store(QDir(storage.appSupportDir()).filePath(QStringLiteral("ocr.json")))
    , m_savePending(std::make_shared<std::atomic_bool>(false))
    , m_savesInFlight(std::make_shared<std::atomic_int>(0))
    , m_onBattery([] { return PowerSupply::onBattery(); })
{
    m_store.load();

    m_context = new QObject;
    m_releaseTimer = new QTimer(m_context);
    m_releaseTimer->setSingleShot(true);
    m_releaseTimer->setInterval(defaultReleaseDelayMs);
    connect(m_releaseTimer, &QTimer::timeout, m_context, [this] { m_recognizer.release(); });
    m_context->moveToThread(&m_thread);
    m_thread.setObjectName(QStringLiteral("ImageText"));
    connect(&m_thread, &QThread::started, m_context, [] {
        // Below every other thread of the desktop: the scheduler's idle class, and nice 19.
        setpriority(PRIO_PROCESS, id_t(gettid()), 19);
    });
    m_thread.start(QThread::IdlePriority);

    m_settle.setSingleShot(true);
    m_settle.setInterval(defaultSettleDelayMs);
    connect(&m_settle, &QTimer::timeout, this, &ImageTextIndex::startNext);

    connect(&history, &HistoryModel::itemsChanged, this, &ImageTextIndex::historyChanged);
    connect(&preferences, &Preferences::changed, this, [this](Preferences::Key key) {
        if (key == Preferences::Key::RecognizeImageText)
            applyPreference();
    });
    applyPreference();
    // Text of entries that left the history while the program was not running.
    if (m_store.retainOnly([this] {
            QSet<QString> names;
            for (const HistoryModel::Entry& entry : m_history.entries()) {
                const ClipboardItem& item = entry.item;
                if (item.isImage())
                    names.insert(item.content);
            }
            return names;
        }()))
        saveLater();
}

ImageTextIndex::~ImageTextIndex()
{
    if (m_cancel)
        m_cancel->store(true);
    // Waits for the worker: a queued clean-up could still be pending when the thread's loop quits.
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            m_releaseTimer->stop();
            m_recognizer.release();
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_context;
}

void ImageTextIndex::setReleaseDelay(int ms)
{
    QMetaObject::invokeMethod(m_context, [this, ms] { m_releaseTimer->setInterval(ms); });
}

QString ImageTextIndex::textOf(const QString& imageName) const
{
    return m_enabled ? m_store.textOf(imageName) : QString();
}

void ImageTextIndex::applyPreference()
{
    const bool enabled = m_preferences.recognizeImageText() && m_unavailableReason.isEmpty();
    if (enabled == m_enabled) {
        if (!enabled && !m_store.isEmpty()) {
            m_store.clear();
            saveLater();
        }
        return;
    }
    m_enabled = enabled;
    if (enabled) {
        queueMissing();
        return;
    }
    // Off: nothing more is read, and everything read is forgotten, on disk too.
    ++m_generation;
    if (m_cancel)
        m_cancel->store(true);
    m_queue.clear();
    m_settle.stop();
    m_store.clear();
    saveLater();
    QMetaObject::invokeMethod(m_context, [this] {
        m_releaseTimer->stop();
        m_recognizer.release();
    });
    Q_EMIT textChanged(QString());
}

void ImageTextIndex::historyChanged()
{
    QSet<QString> names;
    for (const HistoryModel::Entry& entry : m_history.entries()) {
        const ClipboardItem& item = entry.item;
        if (item.isImage())
            names.insert(item.content);
    }
    if (m_store.retainOnly(names))
        saveLater();
    m_queue.removeIf([&names](const QString& name) { return !names.contains(name); });
    if (m_enabled)
        queueMissing();
}

void ImageTextIndex::queueMissing()
{
    ClipboardItems images;
    for (const HistoryModel::Entry& entry : m_history.entries()) {
        const ClipboardItem& item = entry.item;
        if (item.isImage() && !m_store.contains(item.content) && !m_unreadable.contains(item.content))
            images.append(item);
    }
    std::stable_sort(images.begin(), images.end(),
                     [](const ClipboardItem& a, const ClipboardItem& b) { return a.timestamp > b.timestamp; });
    m_queue.clear();
    for (const ClipboardItem& item : std::as_const(images)) {
        if (!m_queue.contains(item.content))
            m_queue.append(item.content);
    }
    // The history just changed (a capture, a save): wait until it is quiet.
    if (!m_queue.isEmpty() && !m_running)
        m_settle.start();
    else if (m_queue.isEmpty() && !m_running)
        Q_EMIT idle();
}

void ImageTextIndex::startNext()
{
    if (m_running || !m_enabled)
        return;
    if (m_queue.isEmpty()) {
        Q_EMIT idle();
        return;
    }
    // On battery the queue waits for the next change of the history.
    if (m_onBattery && m_onBattery())
        return;
    const QString name = m_queue.takeFirst();
    m_running = true;
    m_cancel = std::make_shared<std::atomic_bool>(false);
    QMetaObject::invokeMethod(m_context, [this, name, generation = m_generation, cancel = m_cancel] {
        m_releaseTimer->stop();
        // Read under the store's rule (a regular file of ours, never through a link), and streamed: the
        // hash and the decoder take the file a block at a time, and the picture is decoded no larger
        // than the recognizer reads it, so a huge image never needs the memory of the whole picture.
        const std::unique_ptr<QIODevice> file = m_storage.openImageFile(name);
        const bool read = file && file->size() <= ImageCodec::maxFileBytes;
        QByteArray hash;
        QString text;
        if (read && !cancel->load()) {
            hash = ImageTextStore::hashOf(file.get());
            if (const std::optional<QString> known = m_store.textForHash(hash)) {
                text = *known;
            } else if (file->seek(0)) {
                text =
                    m_recognizer.recognize(ImageCodec::decode(file.get(), TextRecognizer::maxImageSide), cancel.get());
            }
        }
        m_releaseTimer->start();
        QMetaObject::invokeMethod(
            this, [this, generation, name, hash, text, read] { finished(generation, name, hash, text, read); });
    });
}

void ImageTextIndex::finished(quint64 generation, const QString& name, const QByteArray& hash, const QString& text,
                              bool read)
{
    m_running = false;
    if (generation != m_generation || !m_enabled)
        return;
    const bool stillThere =
        std::any_of(m_history.entries().cbegin(), m_history.entries().cend(),
                    [&name](const HistoryModel::Entry& entry) { return entry.item.content == name; });
    if (!read) {
        m_unreadable.insert(name);
    } else if (stillThere && !(m_cancel && m_cancel->load())) {
        m_store.set(name, hash, text);
        saveLater();
        if (!text.isEmpty())
            Q_EMIT textChanged(name);
    }
    if (m_queue.isEmpty())
        Q_EMIT idle();
    else
        startNext();
}

void ImageTextIndex::saveLater()
{
    // Saves queued behind one another collapse into one.
    if (m_savePending->exchange(true))
        return;
    m_savesInFlight->fetch_add(1);
    QMetaObject::invokeMethod(m_context, [this, pending = m_savePending, inFlight = m_savesInFlight] {
        pending->store(false);
        m_store.save();
        inFlight->fetch_sub(1);
    });
}
