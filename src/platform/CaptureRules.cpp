#include "platform/CaptureRules.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Qt does not let a match be bounded in time: PCRE2's own step limit (which Qt leaves at its default) ends
// a runaway match, but only after tens of milliseconds per pattern. So the patterns run on a thread of their own and
// the reader waits for them no longer than the budget; a match still running then is left to finish on that thread
// (PCRE2's limit ends it) while the reader records the text and names the pattern as slow.
struct CaptureRules::Matcher
{
    explicit Matcher(const QList<QRegularExpression>& patterns)
        : patterns(patterns)
        , thread([this] { run(); })
    {}

    ~Matcher()
    {
        {
            const std::lock_guard lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        thread.join();
    }

    Verdict judge(const QString& text)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(patternBudgetMs);
        std::unique_lock lock(mutex);
        // A match given up on by an earlier change may still be running: it has the same budget to end.
        if (!done.wait_until(lock, deadline, [this] { return finished == submitted; }))
            return {false, patterns[current].pattern()};
        job = text;
        ++submitted;
        current = 0;
        wake.notify_all();
        if (!done.wait_until(lock, deadline, [this] { return finished == submitted; }))
            return {false, patterns[current].pattern()};
        return verdict;
    }

    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stopping || finished != submitted; });
            if (stopping)
                return;
            const quint64 serial = submitted;
            const QString text = std::exchange(job, {});
            Verdict result;
            for (qsizetype i = 0; i < patterns.size() && !result.ignored; ++i) {
                current = i;
                lock.unlock();
                const auto start = std::chrono::steady_clock::now();
                // A match PCRE2 gives up on counts as none: the text is kept.
                // The text was decoded here, so it is valid UTF-16: PCRE2 need not check it for every pattern.
                result.ignored = patterns[i]
                                     .match(text, 0, QRegularExpression::NormalMatch,
                                            QRegularExpression::DontCheckSubjectStringMatchOption)
                                     .hasMatch();
                if (result.slowPattern.isEmpty() &&
                    std::chrono::steady_clock::now() - start > std::chrono::milliseconds(slowMatchMs))
                    result.slowPattern = patterns[i].pattern();
                lock.lock();
            }
            verdict = result;
            finished = serial;
            done.notify_all();
        }
    }

    const QList<QRegularExpression> patterns;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable done;
    QString job;
    quint64 submitted = 0;
    quint64 finished = 0;
    qsizetype current = 0;
    Verdict verdict;
    bool stopping = false;
    std::thread thread;
};

const QStringList& CaptureRules::defaultExcludedApplications()
{
    static const QStringList applications = {
        QStringLiteral("KeePassXC"), QStringLiteral("KeePass2"), QStringLiteral("Bitwarden"),
        QStringLiteral("1Password"), QStringLiteral("Enpass"),   QStringLiteral("Seahorse"),
    };
    return applications;
}

CaptureRules::CaptureRules(const QStringList& excludedApplications, const QStringList& ignorePatterns)
{
    for (const QString& application : excludedApplications) {
        const QString name = application.trimmed();
        if (!name.isEmpty())
            m_excluded.append(name);
    }
    for (const QString& source : ignorePatterns) {
        if (source.isEmpty())
            continue;
        QRegularExpression pattern(source);
        if (!pattern.isValid()) {
            m_invalid.append(source);
            continue;
        }
        pattern.optimize();
        m_patterns.append(pattern);
    }
    if (!m_patterns.isEmpty())
        m_matcher = std::make_unique<Matcher>(m_patterns);
}

CaptureRules::~CaptureRules() = default;

bool CaptureRules::excludes(const QString& owner) const
{
    if (owner.isEmpty())
        return false;
    return m_excluded.contains(owner, Qt::CaseInsensitive);
}

CaptureRules::Verdict CaptureRules::judge(const QByteArray& utf8) const
{
    if (!m_matcher)
        return {};
    // A character cut in two at the end becomes a replacement character, which no sensible pattern needs.
    return m_matcher->judge(QString::fromUtf8(utf8.left(examinedTextBytes)));
}

CaptureRules::Verdict CaptureRules::judge(const QString& text) const
{
    return judge(text.toUtf8());
}
