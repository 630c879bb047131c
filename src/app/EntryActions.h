#pragma once

#include "core/ClipboardItem.h"

#include <QObject>

class ClipboardMonitor;
class EntryIntents;
class HistoryModel;

// Applies what the surfaces ask of the history (see EntryIntents) and what the D-Bus service asks.
// A choice puts the entry back on the clipboard here and nowhere else; `chosen` then tells the shell,
// which decides what follows it.
class EntryActions : public QObject
{
    Q_OBJECT

public:
    EntryActions(HistoryModel& history, ClipboardMonitor& monitor, QObject* parent = nullptr);

    // What the surfaces announce; one channel serves every surface.
    EntryIntents& intents() const { return *m_intents; }

    // Puts the entry on the clipboard without capturing it again; the history is unchanged. Every copy
    // back goes through here.
    void copy(const ClipboardItem& item);
    // As copy, with the text alone: none of the formats the entry keeps.
    void copyPlainText(const ClipboardItem& item);
    // The user chose the entry: it goes back on the clipboard, then `chosen` tells the shell.
    void choose(const ClipboardItem& item);
    // As choose, and the shell pastes it once, with or without paste after choosing.
    void chooseToPaste(const ClipboardItem& item);
    // As choose, with the text alone.
    void choosePlainText(const ClipboardItem& item);
    // Puts text on the clipboard that never enters the history.
    void copyText(const QString& text);
    void togglePin(const QUuid& id);
    void deleteItem(const ClipboardItem& item);
    void saveEdit(const ClipboardItem& item, const QString& text);
    void clearAll();
    void undo();

Q_SIGNALS:
    // An entry went back on the clipboard by the user's choice.
    void chosen(const ClipboardItem& item);
    // An entry went back on the clipboard to be pasted at once.
    void chosenToPaste(const ClipboardItem& item);

private:
    HistoryModel& m_history;
    ClipboardMonitor& m_monitor;
    EntryIntents* m_intents;
};
