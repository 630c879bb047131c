#pragma once

#include <QAbstractButton>
#include <QList>
#include <QWidget>

#include <optional>

// One segment of a segmented picker; the picker draws the raised face of the chosen one.
class SegmentButton : public QAbstractButton
{
    Q_OBJECT

public:
    SegmentButton(const QString& title, int value, QWidget* parent = nullptr);

    int value() const { return m_value; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_value;
    bool m_selected = false;
};

// A fixed-width row of equal segments, one chosen: the theme and clean-up pickers. A stored value that
// is none of the choices highlights nothing.
class SegmentedPicker : public QWidget
{
    Q_OBJECT

public:
    struct Choice
    {
        QString title;
        int value;
    };

    // Segment buttons are named `objectNamePrefix` followed by their value.
    SegmentedPicker(const QList<Choice>& choices, int width, const QString& objectNamePrefix,
                    QWidget* parent = nullptr);

    int selection() const { return m_selection; }
    void setSelection(int value);
    std::optional<int> highlightedValue() const;
    SegmentButton* segment(int value) const;

Q_SIGNALS:
    void valueChosen(int value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<SegmentButton*> m_segments;
    int m_selection = 0;
};
