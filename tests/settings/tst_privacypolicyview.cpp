#include "settings/PrivacyPolicyView.h"

#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

class TestPrivacyPolicyView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void opensAtTheTopAndScrollsToTheEnd();
    void footerIsCentredAcrossTheWidth();
};

void TestPrivacyPolicyView::opensAtTheTopAndScrollsToTheEnd()
{
    PrivacyPolicyView view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.size(), QSize(460, 600));
    QScrollBar* bar = view.scrollArea()->verticalScrollBar();
    QCOMPARE(bar->value(), 0);
    auto* header = view.findChild<QWidget*>(QStringLiteral("privacyHeader"));
    QWidget* document = view.scrollArea()->widget();
    QVERIFY(header->geometry().top() < 50);

    // Scrolled to the end, the footer is inside the visible frame, and nothing is clipped on the way.
    bar->setValue(bar->maximum());
    auto* footer = view.findChild<QWidget*>(QStringLiteral("privacyFooter"));
    const QRect visible(QPoint(0, -document->y()), view.scrollArea()->viewport()->size());
    QVERIFY(visible.contains(footer->geometry()));
    for (QWidget* section : document->findChildren<QWidget*>(QStringLiteral("privacySection"))) {
        for (QWidget* child : section->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            QVERIFY(child->height() >= child->heightForWidth(child->width()));
    }
}

void TestPrivacyPolicyView::footerIsCentredAcrossTheWidth()
{
    PrivacyPolicyView view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto* footer = view.findChild<QWidget*>(QStringLiteral("privacyFooter"));
    auto* title = view.findChild<QLabel*>(QStringLiteral("privacyTitle"));
    const QWidget* document = view.scrollArea()->widget();
    QCOMPARE(footer->width(), title->parentWidget()->width());
    for (QLabel* label : footer->findChildren<QLabel*>()) {
        QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QCOMPARE(label->width(), footer->width());
    }
    const QRect frame = footer->geometry();
    QCOMPARE(frame.left(), document->width() - 1 - frame.right());
}

QTEST_MAIN(TestPrivacyPolicyView)
#include "tst_privacypolicyview.moc"
