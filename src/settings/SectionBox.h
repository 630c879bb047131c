#pragma once

#include <QWidget>

class QLabel;
class QVBoxLayout;

// A titled, framed group of settings: the title above, the box with the rows below.
class SectionBox : public QWidget
{
    Q_OBJECT

public:
    explicit SectionBox(const QString& title, QWidget* parent = nullptr);

    QString title() const;
    // Rows and dividers go here; they inherit the box's 12-pixel font.
    QWidget* box() const { return m_box; }
    void addWidget(QWidget* widget);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_title;
    QWidget* m_box;
    QVBoxLayout* m_content;
};
