#include "platform/tesseract/TextRecognizerProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <cstring>
#include <thread>

namespace {

constexpr const char* helperArgument = "--be-the-helper";

// What this test binary, started as the helper, answers: the size and the grey of the first pixel, or a
// crash, a hang or its thread limit, as the image's width asks.
class ScriptedRecognizer : public TextRecognizer
{
public:
    QString recognize(const QImage& image, const std::atomic_bool*) override
    {
        if (image.width() == crashWidth)
            std::abort();
        if (image.width() == hangWidth)
            std::this_thread::sleep_for(std::chrono::minutes(1));
        if (image.width() == threadLimitWidth)
            return QString::fromLocal8Bit(qgetenv("OMP_THREAD_LIMIT"));
        return QStringLiteral("读到 %1×%2 grey %3")
            .arg(image.width())
            .arg(image.height())
            .arg(qGray(image.pixel(0, 0)));
    }
    void release() override {}
    bool isLoaded() const override { return true; }
    QString unavailableReason() const override { return {}; }

    static constexpr int crashWidth = 13;
    static constexpr int hangWidth = 17;
    static constexpr int threadLimitWidth = 19;
};

QImage filled(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

} // namespace

class TestTextRecognizerProcess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersEachImageInOneHelper();
    void crashOrCancelCostsOnlyThatImage();

private:
    TextRecognizerProcess m_recognizer{QCoreApplication::applicationFilePath(), {QLatin1String(helperArgument)}};
};

void TestTextRecognizerProcess::answersEachImageInOneHelper()
{
    QVERIFY(!m_recognizer.isLoaded());
    // Converted to grey before it leaves: transparent reads as white paper.
    QCOMPARE(m_recognizer.recognize(filled(40, 30, Qt::transparent)), QStringLiteral("读到 40×30 grey 255"));
    QVERIFY(m_recognizer.isLoaded());
    QCOMPARE(m_recognizer.recognize(filled(5000, 100, Qt::black)), QStringLiteral("读到 4000×80 grey 0"));
    QCOMPARE(m_recognizer.recognize(QImage()), QString());
    // The engine's runtime would spread each image over every core.
    QCOMPARE(m_recognizer.recognize(filled(ScriptedRecognizer::threadLimitWidth, 20, Qt::white)), QStringLiteral("1"));
    m_recognizer.release();
    QVERIFY(!m_recognizer.isLoaded());
}

void TestTextRecognizerProcess::crashOrCancelCostsOnlyThatImage()
{
    QCOMPARE(m_recognizer.recognize(filled(ScriptedRecognizer::crashWidth, 20, Qt::white)), QString());
    QCOMPARE(m_recognizer.recognize(filled(20, 20, Qt::white)), QStringLiteral("读到 20×20 grey 255"));

    std::atomic_bool cancel = false;
    std::thread canceller([&cancel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel = true;
    });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(m_recognizer.recognize(filled(ScriptedRecognizer::hangWidth, 20, Qt::white), &cancel), QString());
    canceller.join();
    // Given up on at the cancel, not at the image's time limit. The helper reads and dies in the idle class,
    // so on a machine whose cores are busy even the cancel takes seconds.
    QVERIFY2(clock.elapsed() < TextRecognizer::timeLimitMs, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!m_recognizer.isLoaded());
    QCOMPARE(m_recognizer.recognize(filled(20, 20, Qt::black)), QStringLiteral("读到 20×20 grey 0"));
}

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], helperArgument) == 0) {
        ScriptedRecognizer recognizer;
        return TextRecognizerProcess::serve(recognizer);
    }
    QCoreApplication app(argc, argv);
    TestTextRecognizerProcess test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_textrecognizerprocess.moc"
