#pragma once

#include "app/EntryActions.h"
#include "core/ClipboardMonitor.h"
#include "core/EntryIntents.h"
#include "core/HistoryModel.h"
#include "core/StorageManager.h"
#include "platform/Preferences.h"
#include "platform/fakes/FakePasteboard.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <memory>

// A history on a temporary folder, a fake clipboard, a temporary preference store and the actions that
// apply what views ask: everything a view needs, with nothing of the user's touched.
struct PanelFixture
{
    QTemporaryDir dir;
    std::unique_ptr<StorageManager> storage =
        std::make_unique<StorageManager>(dir.filePath(QStringLiteral("Pellamor")));
    FakePasteboard pasteboard;
    Preferences preferences{dir.filePath(QStringLiteral("prefs.conf"))};
    std::unique_ptr<HistoryModel> history = std::make_unique<HistoryModel>(*storage);
    std::unique_ptr<ClipboardMonitor> monitor = std::make_unique<ClipboardMonitor>(*history, pasteboard, preferences);
    std::unique_ptr<EntryActions> actions = std::make_unique<EntryActions>(*history, *monitor);

    EntryIntents& intents() const { return actions->intents(); }

    // Replaces the history with `items` as if it had been stored, and reloads it.
    void setHistory(const ClipboardItems& items)
    {
        storage->save(items);
        actions.reset();
        monitor.reset();
        history = std::make_unique<HistoryModel>(*storage);
        monitor = std::make_unique<ClipboardMonitor>(*history, pasteboard, preferences);
        actions = std::make_unique<EntryActions>(*history, *monitor);
    }

    void copyText(const QString& text)
    {
        pasteboard.copyText(text);
        monitor->checkClipboard();
        settle();
    }

    static void settle()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    }

    static ClipboardItem text(const QString& content, const QDateTime& timestamp = ClipboardItem::currentMoment(),
                              bool pinned = false)
    {
        return ClipboardItem(QUuid::createUuid(), ClipboardItemType::Text, content, pinned,
                             pinned ? std::optional(timestamp) : std::nullopt, timestamp);
    }

    ClipboardItem image(const QSize& size, const QDateTime& timestamp = ClipboardItem::currentMoment())
    {
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        const QString name = storage->saveImage(StorageManager::pngData(picture));
        return ClipboardItem(QUuid::createUuid(), ClipboardItemType::Image, name, false, std::nullopt, timestamp);
    }
};
