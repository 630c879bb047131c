#include "PrivacyPolicyView.h"

#include "SettingsWidgets.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextLayout>
#include <QVBoxLayout>
#include <QtMath>

namespace {

constexpr int extraLineSpacing = 4;

// Wrapped plain text with extra space between its lines, which a label cannot give.
class ParagraphText : public QWidget
{
public:
    ParagraphText(const QString& text, const QFont& font, SettingsWidgets::ColorFn color, QWidget* parent)
        : QWidget(parent)
        , m_text(text)
        , m_color(std::move(color))
    {
        setFont(font);
        QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
        connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
    }

    QString text() const { return m_text; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return qCeil(layOut(width, nullptr)); }
    QSize sizeHint() const override { return {360, heightForWidth(360)}; }
    // Heights come from heightForWidth; a minimum height would hold the whole column at its narrowest.
    QSize minimumSizeHint() const override { return {100, 0}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(m_color());
        layOut(width(), &painter);
    }

private:
    // Lays the paragraphs out in `width`, drawing them when given a painter; returns their height.
    qreal layOut(int width, QPainter* painter) const
    {
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        qreal y = 0;
        bool firstLine = true;
        for (const QString& paragraph : m_text.split(u'\n')) {
            QTextLayout layout(paragraph, font());
            layout.setTextOption(option);
            layout.beginLayout();
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
                if (!firstLine)
                    y += extraLineSpacing;
                firstLine = false;
                line.setLineWidth(qMax(1, width));
                line.setPosition(QPointF(0, y));
                // Lines holding fallback-font (CJK) glyphs are taller than the primary font says.
                y += line.height();
            }
            layout.endLayout();
            if (painter)
                layout.draw(painter, QPointF(0, 0));
        }
        return y;
    }

    QString m_text;
    SettingsWidgets::ColorFn m_color;
};

QWidget* sectionView(const PrivacyPolicyView::Section& section, QWidget* parent)
{
    auto* view = new QWidget(parent);
    view->setObjectName(QStringLiteral("privacySection"));
    auto* column = new QVBoxLayout(view);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    auto* title = new SettingsLabel(
        section.title, pixelFont(15, QFont::Bold), [] { return Theme::palette().primary; }, view);
    title->setObjectName(QStringLiteral("privacySectionTitle"));
    column->addWidget(title);
    column->addWidget(new ParagraphText(
        section.content, pixelFont(13), [] { return ThemePalette::withOpacity(Theme::palette().primary, 0.8); }, view));
    return view;
}

} // namespace

const QList<PrivacyPolicyView::Section>& PrivacyPolicyView::sections()
{
    static const QList<Section> sections = {
        {QStringLiteral("1. 隐私原则 (Privacy First)"),
         QStringLiteral("Pellamor 是一款围绕您的隐私打造的工具。我们深知，剪贴板数据是您数字生活中最私密的资产之一。"
                        "因此，我们在设计上始终遵循数据最小化原则：只访问剪贴板管理所必需的数据。")},
        {QStringLiteral("2. 数据捕获与监控"),
         QStringLiteral(
             "Pellamor 仅在运行期间监听系统剪贴板的变化。捕获的内容（文字、链接和图片）只保存在您这台电脑上、"
             "仅您本人可读取的本地文件夹中。我们不会在后台静默扫描，也不会对您的数据进行任何形式的分析。"
             "“识别图片中的文字”默认关闭；开启后，图片中的文字只由本机的识别引擎读取，识别结果同样只保存在本地，"
             "任何内容都不会离开您的电脑；关闭它时，所有识别出的文字会立即删除。")},
        {QStringLiteral("3. 物理存储安全性"),
         QStringLiteral(
             "全部历史记录以文件形式保存在 ~/.local/share/Pellamor/ 文件夹中，文件夹和其中的文件只有您本人的账户"
             "可以读写（文件夹权限 0700，文件权限 0600）。除您本人以及您自行设置的系统备份外，任何人（包括我们）"
             "都无法远程访问该文件夹。")},
        {QStringLiteral("4. iCloud 端到端加密"),
         QStringLiteral(
             "Pellamor 没有云同步功能，不使用 iCloud，也不使用任何其他云服务。您的剪贴板记录不会被同步，"
             "也不会被上传到任何服务器，始终只留在您的电脑上。因此，我们无法看到您的任何记录，任何服务器上也没有"
             "您的数据。")},
        {QStringLiteral("5. 敏感内容排除保障"),
         QStringLiteral(
             "我们通过识别系统剪贴板中的隐藏内容标记（例如 ConcealedType）来跳过敏感内容。在 Linux 上，"
             "KeePassXC 等密码管理器同样会为复制的密码加上 x-kde-passwordManagerHint 标记，带有这些标记的内容"
             "不会被记录，从而降低密码和验证码泄露的风险。这项过滤默认开启，可在设置中随时关闭。")},
        {QStringLiteral("6. 第三方披露与商业模式"),
         QStringLiteral("我们绝不出售您的任何数据。Pellamor 不含任何第三方的广告 SDK 或数据分析插件，也不会通过网络"
                        "发送您的任何数据。")},
        {QStringLiteral("7. 用户权利"),
         QStringLiteral(
             "您对自己的数据拥有完全的控制权：\n"
             "• 一键清空：您可以随时在设置中删除全部未置顶的本地历史记录，置顶的记录可在面板中逐条删除。\n"
             "• 开关控制：您可以随时在设置的「隐私与订阅」中打开「暂停记录」，或在托盘菜单中选择「暂停记录」，"
             "暂停期间复制的内容不会被记录，恢复后也不会补录。")},
        {QStringLiteral("8. 联系与建议"),
         QStringLiteral("如果您对本政策有任何疑问，请通过以下邮箱联系我们：support@pellamor.example")},
    };
    return sections;
}

PrivacyPolicyView::PrivacyPolicyView(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("privacyPolicyView"));
    setFixedSize(viewWidth, viewHeight);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setObjectName(QStringLiteral("privacyScroll"));
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The document is always longer than the view; a bar that never comes and goes keeps the wrapping
    // width, and with it every paragraph's height, fixed.
    m_scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->viewport()->setAutoFillBackground(false);
    outer->addWidget(m_scrollArea);

    auto* document = new QWidget;
    document->setObjectName(QStringLiteral("privacyDocument"));
    document->setAutoFillBackground(false);
    auto* column = new QVBoxLayout(document);
    column->setContentsMargins(32, 32, 32, 32);
    column->setSpacing(24);

    auto* header = new QWidget(document);
    header->setObjectName(QStringLiteral("privacyHeader"));
    auto* headerColumn = new QVBoxLayout(header);
    headerColumn->setContentsMargins(0, 10, 0, 0);
    headerColumn->setSpacing(10);
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(8);
    titleRow->addWidget(new SettingsSymbol(
        QStringLiteral("hand.raised.shield.fill"), 28, [] { return Theme::palette().blue; }, QFont::Normal, header));
    auto* title = new SettingsLabel(
        QStringLiteral("隐私政策与服务条款"), pixelFont(22, QFont::Bold), [] { return Theme::palette().primary; },
        header);
    title->setObjectName(QStringLiteral("privacyTitle"));
    titleRow->addWidget(title);
    titleRow->addStretch(1);
    headerColumn->addLayout(titleRow);
    headerColumn->addWidget(new SettingsLabel(
        QStringLiteral("最后更新：2026年03月25日"), pixelFont(11), [] { return Theme::palette().secondary; }, header));
    column->addWidget(header);
    column->addWidget(new SettingsDivider(0, document));

    for (const Section& section : sections())
        column->addWidget(sectionView(section, document));

    auto* closingRule = new QWidget(document);
    auto* closingLayout = new QVBoxLayout(closingRule);
    closingLayout->setContentsMargins(0, 10, 0, 0);
    closingLayout->addWidget(new SettingsDivider(0, closingRule));
    column->addWidget(closingRule);

    // Centred across the full width, unlike the rest of the column.
    auto* footer = new QWidget(document);
    footer->setObjectName(QStringLiteral("privacyFooter"));
    auto* footerColumn = new QVBoxLayout(footer);
    footerColumn->setContentsMargins(0, 0, 0, 20);
    footerColumn->setSpacing(6);
    auto* maker = new SettingsLabel(
        QStringLiteral("Pellamor 开发组"), pixelFont(13, QFont::Bold), [] { return Theme::palette().primary; }, footer);
    auto* motto = new SettingsLabel(
        QStringLiteral("简约记录，绝对隐私"), pixelFont(11), [] { return Theme::palette().secondary; }, footer);
    for (QLabel* label : {static_cast<QLabel*>(maker), static_cast<QLabel*>(motto)}) {
        label->setAlignment(Qt::AlignHCenter);
        footerColumn->addWidget(label);
    }
    column->addWidget(footer);
    column->addStretch(1);

    m_scrollArea->setWidget(document);
    // The scroll area paints its widget with the toolkit's own background unless told otherwise.
    document->setAutoFillBackground(false);
    connect(&Theme::instance(), &Theme::changed, this, &PrivacyPolicyView::applyTheme);
    applyTheme();
}

void PrivacyPolicyView::applyTheme()
{
    const ThemePalette& theme = Theme::palette();
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, theme.windowBackground);
    palette.setColor(QPalette::Base, theme.windowBackground);
    palette.setColor(QPalette::WindowText, theme.primary);
    setPalette(palette);
    m_scrollArea->verticalScrollBar()->setStyleSheet(
        slimScrollBarStyle(ThemePalette::withOpacity(theme.secondary, 0.45)));
    update();
}

void PrivacyPolicyView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::palette().windowBackground);
}

void PrivacyPolicyView::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) ||
        event->matches(QKeySequence::Close)) {
        window()->close();
        return;
    }
    QWidget::keyPressEvent(event);
}
