#include "platform/ImageCodec.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>
#include <mutex>
#include <optional>

#ifdef PELLAMOR_HAVE_LIBHEIF
#include "platform/SharedLibrary.h"

#include <libheif/heif.h>
#endif

namespace {

constexpr qint64 allocationLimitBytes = qint64(ImageCodec::allocationLimitMiB) * 1024 * 1024;

bool fitsLimit(qint64 width, qint64 height)
{
    return width > 0 && height > 0 && width * height * 4 <= allocationLimitBytes;
}

// ISO base media file with an HEIF brand: "....ftypheic", "mif1", ...
[[maybe_unused]] bool looksLikeHeif(const QByteArray& data)
{
    if (data.size() < 12 || data.mid(4, 4) != "ftyp")
        return false;
    const QByteArray brand = data.mid(8, 4);
    return brand == "heic" || brand == "heix" || brand == "heim" || brand == "heis" || brand == "hevc" ||
           brand == "hevx" || brand == "mif1" || brand == "msf1" || brand == "avif";
}

#ifdef PELLAMOR_HAVE_LIBHEIF
// libheif brings its codecs (x265, de265, aom, dav1d): tens of megabytes of code that few sessions
// ever need. It is opened the first time a HEIF image is met, never at start.
struct HeifLibrary
{
    decltype(&heif_context_alloc) contextAlloc = nullptr;
    decltype(&heif_context_free) contextFree = nullptr;
    decltype(&heif_context_read_from_memory_without_copy) readFromMemory = nullptr;
    decltype(&heif_context_get_primary_image_handle) primaryHandle = nullptr;
    decltype(&heif_image_handle_get_width) handleWidth = nullptr;
    decltype(&heif_image_handle_get_height) handleHeight = nullptr;
    decltype(&heif_image_handle_release) handleRelease = nullptr;
    decltype(&heif_decode_image) decodeImage = nullptr;
    decltype(&heif_image_get_plane_readonly) planeReadonly = nullptr;
    decltype(&heif_image_get_width) imageWidth = nullptr;
    decltype(&heif_image_get_height) imageHeight = nullptr;
    decltype(&heif_image_release) imageRelease = nullptr;
};

// Null when libheif is not installed or lacks a function.
const HeifLibrary* heifLibrary()
{
    static const std::optional<HeifLibrary> loaded = []() -> std::optional<HeifLibrary> {
        void* library = ::dlopen("libheif.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return std::nullopt;
        using SharedLibrary::resolve;
        HeifLibrary heif;
        if (resolve(library, "heif_context_alloc", heif.contextAlloc) &&
            resolve(library, "heif_context_free", heif.contextFree) &&
            resolve(library, "heif_context_read_from_memory_without_copy", heif.readFromMemory) &&
            resolve(library, "heif_context_get_primary_image_handle", heif.primaryHandle) &&
            resolve(library, "heif_image_handle_get_width", heif.handleWidth) &&
            resolve(library, "heif_image_handle_get_height", heif.handleHeight) &&
            resolve(library, "heif_image_handle_release", heif.handleRelease) &&
            resolve(library, "heif_decode_image", heif.decodeImage) &&
            resolve(library, "heif_image_get_plane_readonly", heif.planeReadonly) &&
            resolve(library, "heif_image_get_width", heif.imageWidth) &&
            resolve(library, "heif_image_get_height", heif.imageHeight) &&
            resolve(library, "heif_image_release", heif.imageRelease))
            return heif;
        ::dlclose(library);
        return std::nullopt;
    }();
    return loaded ? &*loaded : nullptr;
}

QImage decodeHeif(const QByteArray& data)
{
    const HeifLibrary* heif = heifLibrary();
    if (!heif)
        return {};
    heif_context* context = heif->contextAlloc();
    if (!context)
        return {};
    QImage result;
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    if (heif->readFromMemory(context, data.constData(), size_t(data.size()), nullptr).code == heif_error_Ok &&
        heif->primaryHandle(context, &handle).code == heif_error_Ok &&
        fitsLimit(heif->handleWidth(handle), heif->handleHeight(handle)) &&
        heif->decodeImage(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr).code ==
            heif_error_Ok) {
        int stride = 0;
        const uint8_t* pixels = heif->planeReadonly(image, heif_channel_interleaved, &stride);
        const int width = heif->imageWidth(image, heif_channel_interleaved);
        const int height = heif->imageHeight(image, heif_channel_interleaved);
        if (pixels && fitsLimit(width, height))
            result = QImage(pixels, width, height, stride, QImage::Format_RGBA8888).copy();
    }
    if (image)
        heif->imageRelease(image);
    if (handle)
        heif->handleRelease(handle);
    heif->contextFree(context);
    return result;
}
#endif

} // namespace

namespace ImageCodec {

void applyAllocationLimit()
{
    static std::once_flag once;
    std::call_once(once, [] { QImageReader::setAllocationLimit(allocationLimitMiB); });
}

QSize keptSize(const QSize& size, int maxDimension)
{
    if (maxDimension <= 0 || size.isEmpty() || (size.width() <= maxDimension && size.height() <= maxDimension))
        return size;
    const qreal ratio = qreal(size.width()) / qreal(size.height());
    const QSizeF kept =
        ratio > 1 ? QSizeF(maxDimension, maxDimension / ratio) : QSizeF(maxDimension * ratio, maxDimension);
    return {std::max(1, qRound(kept.width())), std::max(1, qRound(kept.height()))};
}

QImage scaledToKept(const QImage& image, int maxDimension)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return {};
    const QSize kept = keptSize(image.size(), maxDimension);
    if (kept == image.size())
        return image;
    return image.scaled(kept, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage decode(QIODevice* device, int maxDimension)
{
    if (!device || !device->isReadable())
        return {};
    applyAllocationLimit();
    const qint64 start = device->pos();
    QImageReader reader(device);
    reader.setAutoTransform(true);
    if (reader.canRead()) {
        const QSize size = reader.size();
        // Formats that cannot tell their size up front are still bounded by the reader's allocation limit.
        if (size.isValid() && !fitsLimit(size.width(), size.height()))
            return {};
        // PNG and JPEG then decode row by row into the smaller picture; other formats are scaled after.
        if (size.isValid() && keptSize(size, maxDimension) != size)
            reader.setScaledSize(keptSize(size, maxDimension));
        QImage image = reader.read();
        if (!image.isNull())
            return maxDimension > 0 ? scaledToKept(image, maxDimension) : image;
    }
#ifdef PELLAMOR_HAVE_LIBHEIF
    if (device->seek(start) && looksLikeHeif(device->peek(12))) {
        const QImage image = decodeHeif(device->readAll());
        return maxDimension > 0 ? scaledToKept(image, maxDimension) : image;
    }
#else
    Q_UNUSED(start)
#endif
    return {};
}

QImage decode(const QByteArray& data, int maxDimension)
{
    if (data.isEmpty())
        return {};
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return decode(&buffer, maxDimension);
}

QImage decodeFile(const QString& path, int maxDimension)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxFileBytes)
        return {};
    return decode(file.readAll(), maxDimension);
}

QByteArray encodePng(const QImage& image)
{
    if (image.isNull())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        return {};
    return bytes;
}

} // namespace ImageCodec
