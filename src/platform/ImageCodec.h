#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

class QIODevice;

// Decoding of images that other programs hand us. Every decode is bounded: the header's size is checked
// before any pixel memory is allocated, so a crafted or huge image is refused instead of exhausting memory.
namespace ImageCodec {

// Enough for an 8K screenshot at 32 bits per pixel, with room to spare.
inline constexpr int allocationLimitMiB = 256;
// Files named on the clipboard are read whole; anything larger is not an image worth keeping.
inline constexpr qint64 maxFileBytes = qint64(allocationLimitMiB) * 1024 * 1024;

// Applies the allocation limit to every image decoded through Qt in this process, including images
// that QClipboard decodes itself. Cheap; called before any decode.
void applyAllocationLimit();

// Null when the bytes are not an image, or one whose decoded pixels would exceed the limit; the size is
// checked before any pixel is decoded. With maxDimension, an image with a longer side is decoded straight
// at the size that fits a square of that side (aspect ratio kept) where the format allows, and scaled to
// it otherwise, so a small file that unpacks to a huge picture never needs the memory of the whole picture.
QImage decode(const QByteArray& data, int maxDimension = 0);
// The same, read from the device as the decoder goes: a large file is never held whole in memory.
QImage decode(QIODevice* device, int maxDimension = 0);
QImage decodeFile(const QString& path, int maxDimension = 0);
// The size an image of `size` is kept at: fits a square of side maxDimension, aspect ratio kept, each
// side at least 1; unchanged when it already fits.
QSize keptSize(const QSize& size, int maxDimension);
// The image scaled down to keptSize; null for an image without area.
QImage scaledToKept(const QImage& image, int maxDimension);
// PNG bytes of the image; empty when it cannot be encoded.
QByteArray encodePng(const QImage& image);

} // namespace ImageCodec
