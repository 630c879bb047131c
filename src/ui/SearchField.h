#pragma once

#include <QLineEdit>

// The search field of the panel and the board: a rounded field with a magnifier, the placeholder
// "搜索剪贴板历史" and a clear button while it holds text.
class SearchField : public QLineEdit
{
    Q_OBJECT

public:
    static constexpr int fieldHeight = 28;

    explicit SearchField(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void applyTheme();
};
