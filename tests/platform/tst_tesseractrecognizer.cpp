#include "platform/tesseract/TesseractRecognizer.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QTest>
#include <QTransform>

#include <dlfcn.h>

namespace {

// Whether the engine's library is in the process, without opening it.
bool libraryIsOpen()
{
    void* library = ::dlopen("libtesseract.so.5", RTLD_NOW | RTLD_NOLOAD);
    if (library)
        ::dlclose(library);
    return library != nullptr;
}

// A white page with black lines of text, as a screenshot of a document would be.
QImage page(const QStringList& lines, int angle = 0)
{
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(28);
    QImage image(900, 60 + int(lines.size()) * 48, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(30, 60 + i * 48, lines.at(i));
    painter.end();
    return angle ? image.transformed(QTransform().rotate(angle)) : image;
}

} // namespace

// The real engine on generated images; skipped where the language data is not installed.
class TestTesseractRecognizer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void readsGeneratedImages_data();
    void readsGeneratedImages();
    void keepsAtMostTheByteLimit();
    void releaseFreesTheEngine();

private:
    TesseractRecognizer m_recognizer;
};

void TestTesseractRecognizer::initTestCase()
{
    if (!m_recognizer.unavailableReason().isEmpty())
        QSKIP("Tesseract's Chinese and English data are not installed");
    // Nothing of the engine is in a process that has read no image yet.
    QVERIFY(!libraryIsOpen());
}

void TestTesseractRecognizer::readsGeneratedImages_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QStringList>("expected");
    const QStringList english{QStringLiteral("Connection refused on port 8080"),
                              QStringLiteral("Please check the server settings")};
    QTest::newRow("english") << page(english) << QStringList{"Connection refused", "server settings"};
    QTest::newRow("chinese") << page({QStringLiteral("明天下午三点开会讨论预算"), QStringLiteral("请准时参加")})
                             << QStringList{"开会讨论预算", "准时参加"};
    QTest::newRow("mixed") << page({QStringLiteral("错误代码 Error 404 页面不存在")})
                           << QStringList{"错误代码", "Error 404", "页面不存在"};
    QImage blank(800, 600, QImage::Format_RGB32);
    blank.fill(QColor(200, 220, 240));
    QTest::newRow("no text") << blank << QStringList{};
    QImage dot(1, 1, QImage::Format_ARGB32);
    dot.fill(Qt::black);
    QTest::newRow("1x1") << dot << QStringList{};
    QTest::newRow("transparent background") << [] {
        QImage image(600, 120, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        QFont font(QStringLiteral("Noto Sans CJK SC"));
        font.setPixelSize(28);
        painter.setFont(font);
        painter.drawText(20, 70, QStringLiteral("Transparent background"));
        return image;
    }() << QStringList{"Transparent background"};
    // Text turned by 90 degrees: the page layout analysis finds the turned lines.
    QTest::newRow("rotated 90") << page(english, 90) << QStringList{"Connection refused"};
    // Larger than 4000 pixels: scaled down first, still read.
    QTest::newRow("huge") << page(english).scaled(5400, 1200) << QStringList{"Connection"};
}

void TestTesseractRecognizer::readsGeneratedImages()
{
    QFETCH(QImage, image);
    QFETCH(QStringList, expected);
    const QString text = m_recognizer.recognize(image);
    if (expected.isEmpty())
        QCOMPARE(text, QString());
    for (const QString& words : std::as_const(expected)) {
        QVERIFY2(text.contains(words), qPrintable(QStringLiteral("\"%1\" not in \"%2\"").arg(words, text)));
    }
}

void TestTesseractRecognizer::keepsAtMostTheByteLimit()
{
    const QString text = QString(30000, QChar(u'字')) + QStringLiteral("tail");
    const QString limited = TextRecognizer::limitedText(text);
    QVERIFY(limited.toUtf8().size() <= TextRecognizer::maxTextBytes);
    QVERIFY(limited.toUtf8().size() > TextRecognizer::maxTextBytes - 3);
    QVERIFY(!limited.contains(QChar::ReplacementCharacter));
    QCOMPARE(TextRecognizer::limitedText(QStringLiteral("short")), QStringLiteral("short"));
}

void TestTesseractRecognizer::releaseFreesTheEngine()
{
    m_recognizer.recognize(page({QStringLiteral("load")}));
    QVERIFY(m_recognizer.isLoaded());
    m_recognizer.release();
    QVERIFY(!m_recognizer.isLoaded());
    // Loaded again on demand.
    QVERIFY(m_recognizer.recognize(page({QStringLiteral("Loaded again")})).contains(QStringLiteral("again")));
}

QTEST_MAIN(TestTesseractRecognizer)
#include "tst_tesseractrecognizer.moc"
