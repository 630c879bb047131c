#include "Transition.h"

#include "ScaleButton.h"
#include "Spring.h"

#include <QTimer>

namespace {

std::optional<AnimatedUpdate> openUpdate;
quint64 openNumber = 0;
quint64 lastNumber = 0;

} // namespace

void AnimatedUpdate::open(const AnimatedUpdate& update)
{
    openUpdate = update;
    if (openNumber)
        return;
    openNumber = ++lastNumber;
    QTimer::singleShot(0, [] {
        openUpdate.reset();
        openNumber = 0;
    });
}

std::optional<AnimatedUpdate> AnimatedUpdate::current()
{
    return openUpdate;
}

quint64 AnimatedUpdate::currentNumber()
{
    return openNumber;
}

ButtonTransitions::ButtonTransitions(QObject* parent)
    : QObject(parent)
{}

void ButtonTransitions::add(ScaleButton* button, Kind kind)
{
    Entry entry{button, kind};
    entry.to = entry.presence = button->isVisibleTo(button->parentWidget()) ? 1 : 0;
    m_entries.append(entry);
    apply(m_entries.last(), entry.presence);
}

ButtonTransitions::Entry* ButtonTransitions::entryFor(ScaleButton* button)
{
    for (Entry& entry : m_entries) {
        if (entry.button == button)
            return &entry;
    }
    return nullptr;
}

void ButtonTransitions::apply(Entry& entry, qreal presence)
{
    entry.presence = presence;
    // The spring may pass its end slightly: the scale shows that, the opacity cannot.
    const qreal scale = entry.kind == Kind::ScaleFade ? qMax(0.0, presence) : 1.0;
    entry.button->setTransition(qBound(0.0, presence, 1.0), scale);
}

void ButtonTransitions::setShown(ScaleButton* button, bool shown)
{
    Entry* entry = entryFor(button);
    const qreal target = shown ? 1 : 0;
    if (!entry || entry->to == target)
        return;
    entry->to = target;
    // A button on its way out no longer takes clicks.
    entry->button->setAttribute(Qt::WA_TransparentForMouseEvents, !shown);
    const std::optional<AnimatedUpdate> update = AnimatedUpdate::current();
    if (!update || AnimatedUpdate::currentNumber() == m_finishedInUpdate) {
        // A running animation leaves this button where it is put now.
        entry->from = target;
        apply(*entry, target);
        entry->button->setVisible(shown);
        return;
    }
    if (!m_animation) {
        m_animation = new SpringAnimation(update->response, update->dampingFraction, this);
        connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            const qreal progress = value.toReal();
            for (Entry& e : m_entries)
                apply(e, e.from + (e.to - e.from) * progress);
        });
        connect(m_animation, &QAbstractAnimation::finished, this, &ButtonTransitions::settle);
    }
    m_animation->setSpring(update->response, update->dampingFraction);
    // Every button goes on from where it is now towards its own end.
    for (Entry& e : m_entries)
        e.from = e.presence;
    entry->button->setVisible(true);
    m_animation->stop();
    m_animation->animateTo(0, 1);
}

void ButtonTransitions::finish()
{
    m_finishedInUpdate = AnimatedUpdate::currentNumber();
    settle();
}

void ButtonTransitions::settle()
{
    if (m_animation)
        m_animation->stop();
    bool hid = false;
    for (Entry& entry : m_entries) {
        apply(entry, entry.to);
        const bool shown = entry.to > 0;
        hid = hid || (!shown && entry.button->isVisibleTo(entry.button->parentWidget()));
        entry.button->setVisible(shown);
    }
    if (hid)
        Q_EMIT settled();
}

bool ButtonTransitions::isRunning() const
{
    return m_animation && m_animation->state() == QAbstractAnimation::Running;
}

bool ButtonTransitions::isShown(ScaleButton* button) const
{
    for (const Entry& entry : m_entries) {
        if (entry.button == button)
            return entry.to > 0;
    }
    return button->isVisibleTo(button->parentWidget());
}
