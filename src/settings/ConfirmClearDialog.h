#pragma once

#include "core/ClipboardItem.h"

#include <QDialog>

class QPushButton;

// Asks before entries go: a title, a line naming how many, "取消" and the red button that removes them.
// Window-modal over the window it is opened from and never blocking: present() returns at once, and the
// answer arrives as accepted() (the red button) or rejected() (取消, Escape, or closing it any other
// way). It deletes itself once answered.
class ConfirmClearDialog : public QDialog
{
    Q_OBJECT

public:
    ConfirmClearDialog(QWidget* parent, const QString& title, const QString& message, const QString& confirmText);

    // "确认清空全部？" before the unpinned entries of `items` go, which the undo bar can bring back.
    static ConfirmClearDialog* clearAll(QWidget* parent, const ClipboardItems& items);
    // Before a new clean-up period whose first run removes `count` entries, `periodText` ("1 天") old.
    static ConfirmClearDialog* autoClear(QWidget* parent, qsizetype count, const QString& periodText);
    // Where no mail program opens: the support address to select or take with "复制" (accepted());
    // "关闭" dismisses it.
    static ConfirmClearDialog* supportAddress(QWidget* parent, const QString& address);

    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* clearButton() const { return m_clear; }

    // Shows the dialog centred over the parent's window.
    void present();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyTheme();

    QPushButton* m_cancel;
    QPushButton* m_clear;
    bool m_destructive = true;
};
