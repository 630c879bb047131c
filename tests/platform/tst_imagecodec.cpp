#include "platform/ImageCodec.h"

#include <QBuffer>
#include <QImageReader>
#include <QTest>

#include <cstring>

#ifdef PELLAMOR_HAVE_LIBHEIF
#include <libheif/heif.h>
#endif

namespace {

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

quint32 crc32(const char* data, qsizetype size)
{
    quint32 crc = 0xFFFFFFFFu;
    for (qsizetype i = 0; i < size; ++i) {
        crc ^= static_cast<unsigned char>(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBigEndian(QByteArray& bytes, qsizetype offset, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = char((value >> (24 - 8 * i)) & 0xFF);
}

// A valid PNG header claiming the given size, followed by the pixels of a 1 x 1 image: a decoder that
// trusts the header allocates the whole claimed size before it notices the data is short.
QByteArray pngClaiming(quint32 width, quint32 height)
{
    QImage tiny(1, 1, QImage::Format_RGB32);
    tiny.fill(Qt::white);
    QByteArray bytes = encoded(tiny, "PNG");
    // Signature (8), IHDR length (4), "IHDR" at 12, width at 16, height at 20, CRC at 29.
    putBigEndian(bytes, 16, width);
    putBigEndian(bytes, 20, height);
    putBigEndian(bytes, 29, crc32(bytes.constData() + 12, 17));
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
    void decodesAtTheKeptSize_data();
    void decodesAtTheKeptSize();
    void encodesPng();
    void decodesHeic();
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
    QImageReader reader(QStringLiteral("unused"));
    QBuffer buffer;
    buffer.setData(pngClaiming(60000, 60000));
    reader.setDevice(&buffer);
    QCOMPARE(reader.size(), QSize(60000, 60000));
}

void TestImageCodec::decodesAtTheKeptSize_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("kept");
    QTest::newRow("wide png") << QByteArray("PNG") << QSize(4000, 1000) << QSize(1200, 300);
    QTest::newRow("tall jpeg") << QByteArray("JPEG") << QSize(1000, 4000) << QSize(300, 1200);
    QTest::newRow("tiff, just over") << QByteArray("TIFF") << QSize(1201, 1201) << QSize(1200, 1200);
    QTest::newRow("png, just fits") << QByteArray("PNG") << QSize(1200, 1200) << QSize(1200, 1200);
    QTest::newRow("thin bmp") << QByteArray("BMP") << QSize(5000, 2) << QSize(1200, 1);
}

void TestImageCodec::decodesAtTheKeptSize()
{
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(QSize, kept);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QByteArray bytes = encoded(image, format.constData());
    QCOMPARE(ImageCodec::keptSize(size, 1200), kept);
    const QImage decoded = ImageCodec::decode(bytes, 1200);
    QCOMPARE(decoded.size(), kept);
    QVERIFY(qAbs(QColor(decoded.pixel(kept.width() / 2, kept.height() / 2)).green() - QColor(Qt::darkCyan).green()) <
            8);
    QCOMPARE(ImageCodec::decode(bytes).size(), size);
    // What the whole picture would take is checked first, whatever size it is kept at.
    QVERIFY(ImageCodec::decode(pngClaiming(9000, 9000), 1200).isNull());
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

void TestImageCodec::decodesHeic()
{
#ifdef PELLAMOR_HAVE_LIBHEIF
    if (!heif_have_encoder_for_format(heif_compression_HEVC) || !heif_have_decoder_for_format(heif_compression_HEVC))
        QSKIP("libheif has no HEVC encoder or decoder here");
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = nullptr;
    QVERIFY(heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code == heif_error_Ok);
    QVERIFY(heif_image_create(64, 48, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image).code == heif_error_Ok);
    QVERIFY(heif_image_add_plane(image, heif_channel_interleaved, 64, 48, 8).code == heif_error_Ok);
    int stride = 0;
    uint8_t* pixels = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < 48; ++y)
        std::memset(pixels + y * stride, 0x80, size_t(64 * 3));
    QVERIFY(heif_context_encode_image(context, image, encoder, nullptr, nullptr).code == heif_error_Ok);
    QByteArray bytes;
    heif_writer writer = {};
    writer.writer_api_version = 1;
    writer.write = [](heif_context*, const void* data, size_t size, void* userdata) {
        static_cast<QByteArray*>(userdata)->append(static_cast<const char*>(data), qsizetype(size));
        return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
    };
    QVERIFY(heif_context_write(context, &writer, &bytes).code == heif_error_Ok);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);

    QCOMPARE(ImageCodec::decode(bytes).size(), QSize(64, 48));
#else
    QSKIP("built without libheif");
#endif
}

QTEST_GUILESS_MAIN(TestImageCodec)
#include "tst_imagecodec.moc"
