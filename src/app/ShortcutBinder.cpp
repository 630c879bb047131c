#include "ShortcutBinder.h"

#include "core/StandardOutput.h"
#include "platform/KeySymbols.h"
#include "platform/Preferences.h"
#include "settings/ShortcutRecorder.h"

const QString ShortcutBinder::advice = QStringLiteral("可在系统设置中将快捷键绑定到命令 pellamor");

ShortcutBinder::ShortcutBinder(Preferences& preferences, std::unique_ptr<GlobalShortcut> shortcut, QObject* parent)
    : QObject(parent)
    , m_preferences(preferences)
    , m_shortcut(std::move(shortcut))
{
    connect(m_shortcut.get(), &GlobalShortcut::activated, this, &ShortcutBinder::activated);
    connect(m_shortcut.get(), &GlobalShortcut::statusChanged, this, &ShortcutBinder::onStatusChanged);
    connect(&m_preferences, &Preferences::changed, this, [this](Preferences::Key key) {
        // Every write is announced; only a new text is bound again.
        if (key == Preferences::Key::ShortcutKey && m_preferences.shortcutKey() != m_text)
            bindStored();
    });
    bindStored();
}

ShortcutBinder::~ShortcutBinder() = default;

void ShortcutBinder::bindStored()
{
    m_text = m_preferences.shortcutKey();
    const std::optional<QKeyCombination> combination = parseShortcutText(m_text);
    if (!combination) {
        m_shortcut->unbind();
        setProblem(QStringLiteral("无法识别此快捷键"), QStringLiteral("cannot read the shortcut \"%1\"").arg(m_text));
        return;
    }
    if (!isGlobalShortcutAllowed(*combination)) {
        // A hand-edited file may hold a bare key; grabbing it would take it from every program.
        m_shortcut->unbind();
        setProblem(ShortcutRecorder::needsModifierText,
                   QStringLiteral("\"%1\" holds no Ctrl, Alt or Super").arg(m_text));
        return;
    }
    setProblem({}, {});
    m_shortcut->bind(*combination);
}

void ShortcutBinder::onStatusChanged(GlobalShortcut::Status status)
{
    using Status = GlobalShortcut::Status;
    switch (status) {
    case Status::Unbound:
    case Status::Pending:
    case Status::Bound:
        // Unbound only follows a text that is not bound, whose line is already shown.
        if (status != Status::Unbound)
            setProblem({}, {});
        return;
    case Status::Taken:
        setProblem(QStringLiteral("已被其他程序占用"), QStringLiteral("%1 is taken by another program").arg(m_text));
        return;
    case Status::Unsupported:
        setProblem(QStringLiteral("此桌面不支持全局快捷键"), QStringLiteral("this desktop offers no global shortcuts"));
        return;
    case Status::NoSuchKey:
        setProblem(QStringLiteral("键盘上没有此按键"), QStringLiteral("the keyboard has no key for %1").arg(m_text));
        return;
    case Status::Refused:
        setProblem(QStringLiteral("桌面未允许此快捷键"), QStringLiteral("the desktop did not allow %1").arg(m_text));
        return;
    }
}

void ShortcutBinder::setProblem(const QString& problem, const QString& reasonForOutput)
{
    if (!reasonForOutput.isEmpty())
        printLine(QStringLiteral("Failed to bind shortcut: ") + reasonForOutput);
    const QString line = problem.isEmpty() ? QString() : problem + QStringLiteral("，") + advice;
    if (line == m_problem)
        return;
    m_problem = line;
    Q_EMIT problemChanged(m_problem);
}
