#include "../PanelFixture.h"
#include "core/HistoryModel.h"
#include "panel/ImagePreviewView.h"
#include "panel/TextPreviewView.h"

#include <QAbstractButton>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

class TestPreviews : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void imageFits_data();
    void imageFits();
    void imagePlaceholderColumnIsCentred();
    void imageCloseRunsDismiss();
    void copyRecognizedTextIsNotCapturedAgain();
    void saveEditsInPlace();
    void copyWholePutsEditedTextOnly();
    void cancelWritesNothing();
    void returnAndEscape();
    void savingADeletedEntryChangesNothing();

private:
    std::unique_ptr<PanelFixture> m_fixture;
};

void TestPreviews::init()
{
    m_fixture = std::make_unique<PanelFixture>();
}

void TestPreviews::imageFits_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("shown");
    QTest::newRow("small is enlarged") << QSize(100, 50) << QSize(460, 230);
    QTest::newRow("very wide") << QSize(2000, 100) << QSize(460, 23);
    QTest::newRow("tall") << QSize(300, 1200) << QSize(85, 340);
    QTest::newRow("box shaped") << QSize(920, 680) << QSize(460, 340);
}

void TestPreviews::imageFits()
{
    QFETCH(QSize, image);
    QFETCH(QSize, shown);
    const ClipboardItem item = m_fixture->image(image);
    ImagePreviewView view(*m_fixture->storage, item.content, {});
    QCOMPARE(view.imageRect().size(), shown);
    const QRect shownRect = view.imageRect();
    QVERIFY(qAbs(shownRect.left() - (500 - shownRect.right() - 1)) <= 1);
    QVERIFY(QRect(QPoint(0, 0), ImagePreviewView::frameSize).contains(view.imageRect()));
}

void TestPreviews::imagePlaceholderColumnIsCentred()
{
    ImagePreviewView view(*m_fixture->storage, QStringLiteral("missing.png"), {});
    QVERIFY(view.showsPlaceholder());
    QVERIFY(view.imageRect().isEmpty());
    const QRect column = view.columnRect();
    QVERIFY(column.height() < 400);
    QVERIFY(column.top() > 0);
    QVERIFY(qAbs(column.top() - (400 - column.bottom() - 1)) <= 1);
}

void TestPreviews::imageCloseRunsDismiss()
{
    int dismissed = 0;
    ImagePreviewView view(*m_fixture->storage, QStringLiteral("missing.png"), [&] { ++dismissed; });
    view.show();
    QTest::mouseClick(view.findChild<QAbstractButton*>(QStringLiteral("closeButton")), Qt::LeftButton);
    QCOMPARE(dismissed, 1);
    QTest::keyClick(&view, Qt::Key_Escape);
    QCOMPARE(dismissed, 2);
}

void TestPreviews::copyRecognizedTextIsNotCapturedAgain()
{
    m_fixture->copyText(QStringLiteral("an entry"));
    const ClipboardItems before = m_fixture->monitor->items();
    HistoryModel& history = m_fixture->monitor->history();
    QString recognised;
    history.setImageTextSource([&recognised](const QString&) { return recognised; });
    const auto button = [](ImagePreviewView& view) {
        return view.findChild<QAbstractButton*>(QStringLiteral("copyRecognizedTextButton"));
    };

    ImagePreviewView without(*m_fixture->storage, QStringLiteral("shot.png"), {});
    without.offerRecognizedText(*m_fixture->history, m_fixture->intents());
    without.show();
    QVERIFY(!button(without)->isVisible());

    recognised = QStringLiteral("Error 404 页面不存在");
    ImagePreviewView with(*m_fixture->storage, QStringLiteral("shot.png"), {});
    with.offerRecognizedText(*m_fixture->history, m_fixture->intents());
    with.show();
    QVERIFY(button(with)->isVisible());
    QVERIFY(!button(with)->geometry().intersects(
        with.findChild<QAbstractButton*>(QStringLiteral("closeButton"))->geometry()));
    QTest::mouseClick(button(with), Qt::LeftButton);
    QCOMPARE(m_fixture->pasteboard.contents().text, recognised);
    m_fixture->monitor->checkClipboard();
    PanelFixture::settle();
    QCOMPARE(m_fixture->monitor->items(), before);
    history.setImageTextSource({});
}

void TestPreviews::saveEditsInPlace()
{
    m_fixture->copyText(QStringLiteral("first"));
    m_fixture->copyText(QStringLiteral("second"));
    const ClipboardItem entry = m_fixture->monitor->items().last();
    int dismissed = 0;
    TextPreviewView view(m_fixture->intents(), entry, [&] { ++dismissed; });
    QCOMPARE(view.text(), QStringLiteral("first"));
    view.editor()->setPlainText(QStringLiteral("first, edited"));
    QTest::mouseClick(view.findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton);
    QCOMPARE(dismissed, 1);
    QCOMPARE(m_fixture->monitor->items().last().content, QStringLiteral("first, edited"));
    QCOMPARE(m_fixture->monitor->items().last().timestamp, entry.timestamp);
    m_fixture->storage->waitForBackgroundWork();
    QCOMPARE(m_fixture->storage->load(), m_fixture->monitor->items());
}

void TestPreviews::copyWholePutsEditedTextOnly()
{
    m_fixture->copyText(QStringLiteral("original"));
    const ClipboardItems before = m_fixture->monitor->items();
    int dismissed = 0;
    TextPreviewView view(m_fixture->intents(), before.first(), [&] { ++dismissed; });
    view.editor()->setPlainText(QStringLiteral("changed"));
    QTest::mouseClick(view.findChild<QPushButton*>(QStringLiteral("copyButton")), Qt::LeftButton);
    QCOMPARE(dismissed, 1);
    QCOMPARE(m_fixture->pasteboard.contents().text, QStringLiteral("changed"));
    m_fixture->monitor->checkClipboard();
    PanelFixture::settle();
    QCOMPARE(m_fixture->monitor->items(), before);
}

void TestPreviews::cancelWritesNothing()
{
    m_fixture->copyText(QStringLiteral("keep"));
    const ClipboardItems before = m_fixture->monitor->items();
    int dismissed = 0;
    TextPreviewView view(m_fixture->intents(), before.first(), [&] { ++dismissed; });
    view.editor()->setPlainText(QStringLiteral("discarded"));
    QTest::mouseClick(view.findChild<QPushButton*>(QStringLiteral("cancelButton")), Qt::LeftButton);
    QTest::mouseClick(view.findChild<QAbstractButton*>(QStringLiteral("closeButton")), Qt::LeftButton);
    QCOMPARE(dismissed, 2);
    QCOMPARE(m_fixture->monitor->items(), before);
    QCOMPARE(m_fixture->pasteboard.contents().text, QStringLiteral("keep"));
}

void TestPreviews::returnAndEscape()
{
    m_fixture->copyText(QStringLiteral("text"));
    int dismissed = 0;
    TextPreviewView view(m_fixture->intents(), m_fixture->monitor->items().first(), [&] { ++dismissed; });
    view.show();
    QVERIFY(QTest::qWaitForWindowActive(&view));
    // Inside the editor Return breaks the line.
    view.editor()->setFocus();
    view.editor()->moveCursor(QTextCursor::End);
    QTest::keyClick(view.editor(), Qt::Key_Return);
    QCOMPARE(view.text(), QStringLiteral("text\n"));
    QCOMPARE(dismissed, 0);
    // Elsewhere Return saves.
    view.findChild<QPushButton*>(QStringLiteral("copyButton"))->setFocus();
    QTest::keyClick(&view, Qt::Key_Return);
    QCOMPARE(dismissed, 1);
    QCOMPARE(m_fixture->monitor->items().first().content, QStringLiteral("text\n"));
    // Escape cancels, from the editor too.
    QTest::keyClick(view.editor(), Qt::Key_Escape);
    QCOMPARE(dismissed, 2);
}

void TestPreviews::savingADeletedEntryChangesNothing()
{
    m_fixture->copyText(QStringLiteral("doomed"));
    const ClipboardItem entry = m_fixture->monitor->items().first();
    int dismissed = 0;
    TextPreviewView view(m_fixture->intents(), entry, [&] { ++dismissed; });
    m_fixture->monitor->history().deleteItem(entry);
    view.save();
    QCOMPARE(dismissed, 1);
    QVERIFY(m_fixture->monitor->items().isEmpty());
}

QTEST_MAIN(TestPreviews)
#include "tst_previews.moc"
