#pragma once

#include <QDialog>

class QPushButton;

// Asks before the whole unpinned history goes: "确认清空全部？" with "取消" and "清空". Window-modal
// over the window it is opened from and never blocking: present() returns at once, and the answer
// arrives as accepted() (清空) or rejected() (取消, Escape, or closing it any other way). It deletes
// itself once answered.
class ConfirmClearDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ConfirmClearDialog(QWidget* parent);

    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* clearButton() const { return m_clear; }

    // Shows the dialog centred over the parent's window.
    void present();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void applyTheme();

    QPushButton* m_cancel;
    QPushButton* m_clear;
};
