#include "platform/ImageCodec.h"

#include <QBuffer>
#include <QTest>

#include <cstring>

namespace {

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A PNG whose header claims the given size, with a single tiny IDAT that never fills it.
QByteArray pngClaiming(quint32 width, quint32 height)
{
    QImage tiny(1, 1, QImage::Format_RGB32);
    tiny.fill(Qt::white);
    QByteArray bytes = encoded(tiny, "PNG");
    // IHDR data starts at offset 16: width and height, big-endian. The CRC is left stale: a decoder that
    // trusts the header still allocates before it notices.
    for (int i = 0; i < 4; ++i) {
        bytes[16 + i] = char((width >> (24 - 8 * i)) & 0xFF);
        bytes[20 + i] = char((height >> (24 - 8 * i)) & 0xFF);
    }
    return bytes;
}

} // namespace

class TestImageCodec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesCommonFormats_data();
    void decodesCommonFormats();
    void refusesWhatIsNotAnImage();
    void refusesImagesBeyondTheLimit();
    void encodesPng();
};

void TestImageCodec::decodesCommonFormats_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("png") << QByteArray("PNG");
    QTest::newRow("jpeg") << QByteArray("JPEG");
    QTest::newRow("bmp") << QByteArray("BMP");
    QTest::newRow("tiff") << QByteArray("TIFF");
    QTest::newRow("webp") << QByteArray("WEBP");
}

void TestImageCodec::decodesCommonFormats()
{
    QFETCH(QByteArray, format);
    QImage image(64, 32, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    const QByteArray bytes = encoded(image, format.constData());
    if (bytes.isEmpty())
        QSKIP("no image-format plugin for this format");
    QCOMPARE(ImageCodec::decode(bytes).size(), QSize(64, 32));
}

void TestImageCodec::refusesWhatIsNotAnImage()
{
    QVERIFY(ImageCodec::decode(QByteArray()).isNull());
    QVERIFY(ImageCodec::decode(QByteArray("GIF89a but then nothing")).isNull());
    QByteArray truncated = encoded(QImage(40, 40, QImage::Format_RGB32), "PNG");
    truncated.truncate(30);
    QVERIFY(ImageCodec::decode(truncated).isNull());
    QVERIFY(ImageCodec::decodeFile(QStringLiteral("/nonexistent/file.png")).isNull());
    // Looks like HEIF but is not one.
    QVERIFY(ImageCodec::decode(QByteArray("\0\0\0\x18"
                                          "ftypheic"
                                          "\0\0\0\0",
                                          16))
                .isNull());
}

void TestImageCodec::refusesImagesBeyondTheLimit()
{
    // 8K at 32 bits per pixel is 127 MiB: within the limit.
    QImage large(7680, 4320, QImage::Format_RGB32);
    large.fill(Qt::black);
    QCOMPARE(ImageCodec::decode(encoded(large, "PNG")).size(), large.size());

    // 60000 x 60000 would be 13 GiB: refused from the header alone, instantly.
    QVERIFY(ImageCodec::decode(pngClaiming(60000, 60000)).isNull());
    QVERIFY(ImageCodec::decode(pngClaiming(9000, 9000)).isNull());
}

void TestImageCodec::encodesPng()
{
    QVERIFY(ImageCodec::encodePng(QImage()).isEmpty());
    QImage image(3, 3, QImage::Format_ARGB32);
    image.fill(QColor(10, 20, 30, 40));
    const QByteArray png = ImageCodec::encodePng(image);
    QVERIFY(png.startsWith("\x89PNG"));
    QCOMPARE(ImageCodec::decode(png).pixelColor(1, 1), QColor(10, 20, 30, 40));
}

QTEST_GUILESS_MAIN(TestImageCodec)
#include "tst_imagecodec.moc"
