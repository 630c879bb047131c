#include "RuleListEditor.h"

#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace {

struct Preset
{
    const char* label;
    const char* pattern;
};

const Preset presets[] = {
    {"＋ 验证码（6–8 位数字）", "^\\s*\\d{6,8}\\s*$"},
    {"＋ 长串令牌（32 位以上、无空格）", "^[A-Za-z0-9+/=_-]{32,}$"},
};

} // namespace

RuleListEditor::RuleListEditor(Preferences& preferences, Preferences::Key key, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_preferences(preferences)
    , m_key(key)
{
    const bool patterns = key == Preferences::Key::IgnorePatterns;
    setObjectName(patterns ? QStringLiteral("ignorePatternsEditor") : QStringLiteral("excludedApplicationsEditor"));
    setWindowTitle(patterns ? QStringLiteral("忽略匹配的文字") : QStringLiteral("不记录以下应用"));
    setMinimumWidth(300);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(8);

    auto* hint = new QLabel(patterns ? QStringLiteral("与任一正则表达式匹配的文字不会被记录。")
                                     : QStringLiteral("从这些应用复制的内容不会被记录，名称不区分大小写。"),
                            this);
    hint->setWordWrap(true);
    hint->setFont(pixelFont(11));
    column->addWidget(hint);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("ruleList"));
    m_list->setMinimumHeight(140);
    column->addWidget(m_list);

    auto* entryRow = new QHBoxLayout;
    m_input = new QLineEdit(this);
    m_input->setObjectName(QStringLiteral("ruleInput"));
    m_input->setPlaceholderText(patterns ? QStringLiteral("正则表达式") : QStringLiteral("应用名称，如 KeePassXC"));
    auto* addButton = new QPushButton(QStringLiteral("添加"), this);
    addButton->setObjectName(QStringLiteral("ruleAdd"));
    m_remove = new QPushButton(QStringLiteral("移除"), this);
    m_remove->setObjectName(QStringLiteral("ruleRemove"));
    entryRow->addWidget(m_input, 1);
    entryRow->addWidget(addButton);
    entryRow->addWidget(m_remove);
    column->addLayout(entryRow);
    const auto addTyped = [this] {
        add(m_input->text());
        m_input->clear();
    };
    connect(addButton, &QPushButton::clicked, this, addTyped);
    connect(m_input, &QLineEdit::returnPressed, this, addTyped);
    connect(m_remove, &QPushButton::clicked, this, &RuleListEditor::removeSelected);
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) { m_remove->setEnabled(row >= 0); });

    if (patterns) {
        auto* presetRow = new QHBoxLayout;
        for (qsizetype i = 0; i < qsizetype(std::size(presets)); ++i) {
            auto* button = new QPushButton(QString::fromUtf8(presets[i].label), this);
            button->setObjectName(QStringLiteral("rulePreset%1").arg(i));
            button->setFont(pixelFont(11));
            const QString pattern = QString::fromUtf8(presets[i].pattern);
            button->setToolTip(pattern);
            connect(button, &QPushButton::clicked, this, [this, pattern] { add(pattern); });
            presetRow->addWidget(button);
        }
        column->addLayout(presetRow);
    }

    connect(&m_preferences, &Preferences::changed, this, [this](Preferences::Key changed) {
        if (changed == m_key)
            refresh();
    });
    refresh();
}

void RuleListEditor::setSlowPatterns(const QStringList& patterns)
{
    m_slow = patterns;
    refresh();
}

void RuleListEditor::add(const QString& entry)
{
    const QString text = m_key == Preferences::Key::IgnorePatterns ? entry : entry.trimmed();
    QStringList list = entries();
    if (text.isEmpty() || list.contains(text))
        return;
    list.append(text);
    m_preferences.setValue(m_key, list);
}

void RuleListEditor::removeSelected()
{
    const int row = m_list->currentRow();
    QStringList list = entries();
    if (row < 0 || row >= list.size())
        return;
    list.removeAt(row);
    m_preferences.setValue(m_key, list);
}

void RuleListEditor::refresh()
{
    const int row = m_list->currentRow();
    m_list->clear();
    for (const QString& entry : entries()) {
        auto* item = new QListWidgetItem(entry, m_list);
        if (m_key != Preferences::Key::IgnorePatterns)
            continue;
        const QRegularExpression pattern(entry);
        if (!pattern.isValid()) {
            item->setForeground(Theme::palette().red);
            item->setToolTip(QStringLiteral("无效的正则表达式，已忽略：%1").arg(pattern.errorString()));
        } else if (m_slow.contains(entry)) {
            item->setText(QStringLiteral("⚠ %1").arg(entry));
            item->setForeground(Theme::palette().orange);
            item->setToolTip(QStringLiteral("匹配太慢，超时的文字照常记录"));
        }
    }
    m_list->setCurrentRow(qMin(row, m_list->count() - 1));
    m_remove->setEnabled(m_list->currentRow() >= 0);
}
