#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>

// The user's own rules for what the history keeps, judged on a clipboard reader's thread before (for the
// applications) or right after (for the patterns) the payload is read. Immutable once built; readers share
// one through a shared pointer and the monitor replaces it when the settings change.
class CaptureRules
{
public:
    // Only this much of a text is looked at: the start of it, in bytes of UTF-8.
    static constexpr qsizetype examinedTextBytes = 64 * 1024;
    // The reader time all the patterns together may take for one change; past it the text is kept.
    static constexpr int patternBudgetMs = 50;
    // One pattern taking longer than this on one text is reported as slow, whatever it answered.
    static constexpr int slowMatchMs = 5;

    // Applications excluded while the user never edited the list: password managers.
    static const QStringList& defaultExcludedApplications();

    CaptureRules(const QStringList& excludedApplications, const QStringList& ignorePatterns);
    ~CaptureRules();

    CaptureRules(const CaptureRules&) = delete;
    CaptureRules& operator=(const CaptureRules&) = delete;

    // Whether the application owning the clipboard is excluded; the name is compared without case. An
    // unknown owner (empty name) is never excluded.
    bool excludes(const QString& owner) const;
    // Whether any application is excluded: otherwise the readers need not find out who the owner is.
    bool excludesAny() const { return !m_excluded.isEmpty(); }

    bool hasPatterns() const { return !m_patterns.isEmpty(); }
    // The patterns that do not compile, in the order given; they are left out of every judgement.
    const QStringList& invalidPatterns() const { return m_invalid; }

    struct Verdict
    {
        // A pattern matched: the text is not recorded.
        bool ignored = false;
        // A pattern that took longer than slowMatchMs, or the one still running when the budget ran out
        // (the text is then recorded).
        QString slowPattern;
    };
    // Judges the start of a UTF-8 text against the patterns, in order, within patternBudgetMs.
    Verdict judge(const QByteArray& utf8) const;
    Verdict judge(const QString& text) const;

private:
    struct Matcher;

    QStringList m_excluded;
    QList<QRegularExpression> m_patterns;
    QStringList m_invalid;
    std::unique_ptr<Matcher> m_matcher;
};

// The rules a reader thread judges by; replaced from any thread, taken once per change.
class CaptureRulesSlot
{
public:
    void set(std::shared_ptr<const CaptureRules> rules)
    {
        const std::lock_guard lock(m_mutex);
        m_rules.swap(rules);
    }
    std::shared_ptr<const CaptureRules> get() const
    {
        const std::lock_guard lock(m_mutex);
        return m_rules;
    }

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<const CaptureRules> m_rules;
};
