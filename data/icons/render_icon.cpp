// Renders the scalable icon into one PNG of the given size, so that desktops and menus which only look
// at the fixed-size hicolor folders still show Pellamor's own icon. Run by the build, never installed.
//
// Usage: pellamor_render_icon ICON.svg SIZE OUTPUT.png

#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>

#include <cstdio>
#include <string>

namespace {

int fail(const std::string& message)
{
    std::fprintf(stderr, "pellamor_render_icon: %s\n", message.c_str());
    return 1;
}

// A broken gradient or a typo in the drawing can leave a valid but empty picture; such an icon would
// ship as an invisible hole in the menu, so it is refused here rather than noticed by a user.
bool hasVisiblePixels(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0)
                return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
        return fail("usage: pellamor_render_icon ICON.svg SIZE OUTPUT.png");

    const QString svgPath = QString::fromLocal8Bit(argv[1]);
    const QString outputPath = QString::fromLocal8Bit(argv[3]);
    bool sizeIsNumber = false;
    const int size = QString::fromLocal8Bit(argv[2]).toInt(&sizeIsNumber);
    if (!sizeIsNumber || size < 1 || size > 4096)
        return fail("size must be a whole number from 1 to 4096, not '" + std::string(argv[2]) + "'");

    QSvgRenderer renderer(svgPath);
    if (!renderer.isValid())
        return fail("cannot read the icon " + svgPath.toStdString());

    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(0, 0, size, size));
    }
    if (!hasVisiblePixels(image))
        return fail("the icon " + svgPath.toStdString() + " renders as a fully transparent picture");

    // Written through QSaveFile so that an interrupted build leaves no half-written PNG that the next
    // build would take as up to date.
    QSaveFile output(outputPath);
    if (!output.open(QIODevice::WriteOnly))
        return fail("cannot write " + outputPath.toStdString() + ": " + output.errorString().toStdString());
    if (!image.convertToFormat(QImage::Format_ARGB32).save(&output, "PNG") || !output.commit())
        return fail("cannot write " + outputPath.toStdString() + ": " + output.errorString().toStdString());
    return 0;
}
