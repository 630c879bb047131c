#pragma once

#include <QPointer>
#include <QWidget>

class HistoryModel;
class PressableActionButton;
class QLabel;

// "已清除 N 条记录" or "已删除 1 条记录" with a "撤销" button, shown while the history's last clear or
// delete can still be taken back. Inline it sits in the panel's footer in place of the entry count; as
// a toast it floats over the board's grid on a dark capsule of its own.
class UndoBar : public QWidget
{
    Q_OBJECT

public:
    enum class Style { Inline, Toast };

    UndoBar(const HistoryModel& history, Style style, QWidget* parent = nullptr);

    // A widget the bar stands in for while shown (the footer's count).
    void setReplacedWidget(QWidget* widget);
    QString text() const;
    PressableActionButton* undoButton() const { return m_undoButton; }

    static QString message(const HistoryModel& history);

Q_SIGNALS:
    // Shown or hidden: a toast's parent places it again.
    void visibilityChanged(bool visible);
    // "撤销" was pressed: the host has the removal taken back.
    void undoRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();
    void applyColors();

    const HistoryModel& m_history;
    Style m_style;
    QLabel* m_label;
    PressableActionButton* m_undoButton;
    QPointer<QWidget> m_replaced;
};
