#pragma once

#include "ClipboardItem.h"

#include <QObject>

// What the user asks of the history from any surface: rows, tiles, previews, the footer, the keys and
// the settings announce it here and act on nothing themselves. One controller listens and applies it,
// so every copy back to the clipboard starts in one place.
class EntryIntents : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

Q_SIGNALS:
    // The user chose the entry (a click, Return): it goes back on the clipboard.
    void chosen(const ClipboardItem& item);
    // The user chose the entry to paste it into the window they came from (Shift+Return, "粘贴"),
    // whatever the setting for choices says.
    void pasteRequested(const ClipboardItem& item);
    // The user chose the entry's text alone, without the formats it keeps (Shift+click, Alt+Return,
    // "粘贴为纯文本"); it follows the setting for choices like a click.
    void plainTextChosen(const ClipboardItem& item);
    // Text that is no entry of the history (a preview's whole text, the text read from an image) goes
    // on the clipboard.
    void textCopyRequested(const QString& text);
    void pinToggleRequested(const QUuid& id);
    void deleteRequested(const ClipboardItem& item);
    void editSaved(const ClipboardItem& item, const QString& text);
    void clearRequested();
    // Takes back the last clear or delete, while that can still be done.
    void undoRequested();
};
