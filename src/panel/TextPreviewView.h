#pragma once

#include "core/ClipboardItem.h"

#include <QWidget>

#include <functional>

class EntryIntents;
class QPlainTextEdit;
class QPushButton;

// The full text of an entry in an editor: copy it whole (edited or not), save the edit back into the
// entry, or close without saving. Return saves and Escape cancels unless the editor uses the key.
class TextPreviewView : public QWidget
{
    Q_OBJECT

public:
    static constexpr QSize frameSize{500, 400};

    // Copying and saving are announced on `intents`.
    TextPreviewView(EntryIntents& intents, const ClipboardItem& item, std::function<void()> onDismiss,
                    QWidget* parent = nullptr);

    QPlainTextEdit* editor() const { return m_editor; }
    QString text() const;

    void copyWhole();
    void save();
    void cancel();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void close();

    EntryIntents& m_intents;
    ClipboardItem m_item;
    std::function<void()> m_onDismiss;
    QPlainTextEdit* m_editor;
};
