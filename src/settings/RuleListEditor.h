#pragma once

#include "platform/Preferences.h"

#include <QStringList>
#include <QWidget>

class QLineEdit;
class QListWidget;
class QPushButton;

// A small window over one list of the user's capture rules (the applications not recorded, or the
// patterns of text not recorded): the entries, a line to type a new one, 添加 and 移除. It writes the
// store at once and follows it. Patterns that do not compile are shown in red, slow ones with a warning.
class RuleListEditor : public QWidget
{
    Q_OBJECT

public:
    // key: Preferences::Key::ExcludedApplications or Preferences::Key::IgnorePatterns.
    RuleListEditor(Preferences& preferences, Preferences::Key key, QWidget* parent = nullptr);

    // The patterns that ran out of time on some text.
    void setSlowPatterns(const QStringList& patterns);

    QListWidget* list() const { return m_list; }
    QLineEdit* input() const { return m_input; }

    // Adds an entry unless it is empty or already there.
    void add(const QString& entry);
    void removeSelected();

private:
    QStringList entries() const { return m_preferences.value(m_key).toStringList(); }
    void refresh();

    Preferences& m_preferences;
    Preferences::Key m_key;
    QStringList m_slow;
    QListWidget* m_list = nullptr;
    QLineEdit* m_input = nullptr;
    QPushButton* m_remove = nullptr;
};
