#pragma once

#include <QAbstractButton>

class SpringAnimation;

// The switch of every on/off setting: a 33 x 18 track, blue when on, with a white knob that springs
// across. The switch shows what it is told (the stored value); a click only asks for the other value.
class ToggleSwitch : public QAbstractButton
{
    Q_OBJECT

public:
    static constexpr int trackWidth = 33;
    static constexpr int trackHeight = 18;

    explicit ToggleSwitch(QWidget* parent = nullptr);

    bool isOn() const { return m_on; }
    // Springs to the new state while shown, jumps there otherwise.
    void setOn(bool on);
    // 0 off, 1 on; passes slightly beyond while the spring settles.
    qreal position() const { return m_position; }

    QSize sizeHint() const override { return {trackWidth, trackHeight}; }

Q_SIGNALS:
    void toggleRequested(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SpringAnimation* m_animation;
    bool m_on = false;
    qreal m_position = 0;
};
