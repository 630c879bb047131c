#pragma once

#include <QAbstractButton>
#include <QList>
#include <QWidget>

#include <optional>

class SpringAnimation;

// One choice of the count picker: "N 条", white on blue while chosen.
class CountOption : public QAbstractButton
{
    Q_OBJECT

public:
    CountOption(int value, QWidget* parent = nullptr);

    int value() const { return m_value; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected, bool animated);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_value;
    bool m_selected = false;
    qreal m_highlight = 0;
    SpringAnimation* m_animation;
};

// How many entries the history panel lists: one button per option side by side. A selection that is
// none of the options (a hand-edited store) highlights nothing.
class CountPicker : public QWidget
{
    Q_OBJECT

public:
    static constexpr int preferredWidth = 195;

    explicit CountPicker(const QList<int>& options = {6, 10, 20}, QWidget* parent = nullptr);

    QList<int> options() const { return m_options; }
    int selection() const { return m_selection; }
    void setSelection(int value);
    std::optional<int> highlightedOption() const;
    CountOption* optionButton(int value) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // The user clicked an option; the picker shows it once its selection is set.
    void optionChosen(int value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<int> m_options;
    QList<CountOption*> m_buttons;
    int m_selection = 0;
};
