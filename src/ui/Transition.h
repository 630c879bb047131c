#pragma once

#include <QList>
#include <QObject>

#include <optional>

class ScaleButton;
class SpringAnimation;

// An update whose changes animate, such as the panel's layout after the number of entries changed.
// While one is open, views let the parts they insert or remove transition with its spring; otherwise
// those parts switch at once. An update stays open until the event loop next runs, so every change made
// in reaction to the same event belongs to it.
struct AnimatedUpdate
{
    qreal response = 0.5;
    qreal dampingFraction = 0.82;

    static void open(const AnimatedUpdate& update);
    static std::optional<AnimatedUpdate> current();
    // Tells updates apart: a new number for each update opened, 0 while none is open.
    static quint64 currentNumber();
};

// Shows and hides a few buttons with insertion and removal transitions: a fade, or a fade combined with
// a scale about the button's centre. One spring animation drives them all, and only while something
// moves.
class ButtonTransitions : public QObject
{
    Q_OBJECT

public:
    enum class Kind { Fade, ScaleFade };

    explicit ButtonTransitions(QObject* parent = nullptr);

    void add(ScaleButton* button, Kind kind);
    // Animated inside an open AnimatedUpdate, at once otherwise.
    void setShown(ScaleButton* button, bool shown);
    // Ends every transition at once in its end state; for the rest of the open update (if any) changes
    // switch at once too, as for parts that were only just inserted.
    void finish();
    bool isRunning() const;
    // Where the button is going: false while it fades out.
    bool isShown(ScaleButton* button) const;

Q_SIGNALS:
    // A button was hidden at the end of its transition: the owner lays out again.
    void settled();

private:
    struct Entry
    {
        ScaleButton* button;
        Kind kind;
        qreal from = 0;
        qreal to = 0;
        qreal presence = 0;
    };

    void apply(Entry& entry, qreal presence);
    void settle();
    Entry* entryFor(ScaleButton* button);

    QList<Entry> m_entries;
    SpringAnimation* m_animation = nullptr;
    quint64 m_finishedInUpdate = 0;
};
