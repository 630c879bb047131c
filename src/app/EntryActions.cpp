#include "EntryActions.h"

#include "core/ClipboardMonitor.h"
#include "core/EntryIntents.h"
#include "core/HistoryModel.h"

EntryActions::EntryActions(HistoryModel& history, ClipboardMonitor& monitor, QObject* parent)
    : QObject(parent)
    , m_history(history)
    , m_monitor(monitor)
    , m_intents(new EntryIntents(this))
{
    // Direct connections: a view that asks for a delete or a pin reads the history changed on return.
    connect(m_intents, &EntryIntents::chosen, this, &EntryActions::choose);
    connect(m_intents, &EntryIntents::pasteRequested, this, &EntryActions::chooseToPaste);
    connect(m_intents, &EntryIntents::plainTextChosen, this, &EntryActions::choosePlainText);
    connect(m_intents, &EntryIntents::textCopyRequested, this, &EntryActions::copyText);
    connect(m_intents, &EntryIntents::pinToggleRequested, this, &EntryActions::togglePin);
    connect(m_intents, &EntryIntents::deleteRequested, this, &EntryActions::deleteItem);
    connect(m_intents, &EntryIntents::editSaved, this, &EntryActions::saveEdit);
    connect(m_intents, &EntryIntents::clearRequested, this, &EntryActions::clearAll);
    connect(m_intents, &EntryIntents::undoRequested, this, &EntryActions::undo);
}

void EntryActions::copy(const ClipboardItem& item)
{
    // The caller's entry may be the history's own; the monitor works on a copy of it.
    m_monitor.copyToClipboard(ClipboardItem(item));
}

void EntryActions::copyPlainText(const ClipboardItem& item)
{
    m_monitor.copyToClipboard(ClipboardItem(item), true);
}

void EntryActions::choosePlainText(const ClipboardItem& item)
{
    const ClipboardItem entry = item;
    copyPlainText(entry);
    Q_EMIT chosen(entry);
}

void EntryActions::choose(const ClipboardItem& item)
{
    const ClipboardItem entry = item;
    copy(entry);
    Q_EMIT chosen(entry);
}

void EntryActions::chooseToPaste(const ClipboardItem& item)
{
    const ClipboardItem entry = item;
    copy(entry);
    Q_EMIT chosenToPaste(entry);
}

void EntryActions::copyText(const QString& text)
{
    // A temporary entry: it is put on the clipboard but never enters the history.
    copy(ClipboardItem::captured(ClipboardItemType::Text, text));
}

void EntryActions::togglePin(const QUuid& id)
{
    m_history.togglePin(id);
}

void EntryActions::deleteItem(const ClipboardItem& item)
{
    // The entry the caller holds may be the history's own, gone once removed.
    m_history.deleteItem(ClipboardItem(item));
}

void EntryActions::saveEdit(const ClipboardItem& item, const QString& text)
{
    m_history.updateItem(ClipboardItem(item), text);
}

void EntryActions::clearAll()
{
    m_history.clearAll();
}

void EntryActions::undo()
{
    if (m_history.pendingRemoval())
        m_history.undoRemoval();
}
