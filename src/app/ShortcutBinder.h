#pragma once

#include "platform/GlobalShortcut.h"

#include <QObject>

#include <memory>

class Preferences;

// Keeps the stored shortcut bound system-wide: binds it at start and again whenever a new one is stored,
// and says, in one line for the settings and one on standard output, why it is not bound when it is not.
class ShortcutBinder : public QObject
{
    Q_OBJECT

public:
    static const QString advice;

    ShortcutBinder(Preferences& preferences, std::unique_ptr<GlobalShortcut> shortcut, QObject* parent = nullptr);
    ~ShortcutBinder() override;

    // Empty while the shortcut is bound or being bound; otherwise why it is not, and what to do instead.
    QString problem() const { return m_problem; }
    GlobalShortcut* shortcut() const { return m_shortcut.get(); }

Q_SIGNALS:
    void activated();
    void problemChanged(const QString& problem);

private:
    void bindStored();
    void onStatusChanged(GlobalShortcut::Status status);
    void setProblem(const QString& problem, const QString& reasonForOutput);

    Preferences& m_preferences;
    std::unique_ptr<GlobalShortcut> m_shortcut;
    QString m_text;
    QString m_problem;
};
