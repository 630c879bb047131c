#include "platform/tesseract/TesseractRecognizer.h"

#include "platform/FreeMemory.h"
#include "platform/SharedLibrary.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cstdlib>
#include <tesseract/capi.h>

namespace {

constexpr const char* libraryName = "libtesseract.so.5";

bool hasLanguages(const QString& dir)
{
    return !dir.isEmpty() && QFileInfo::exists(dir + QStringLiteral("/chi_sim.traineddata")) &&
           QFileInfo::exists(dir + QStringLiteral("/eng.traineddata"));
}

bool isHan(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 0x3400 && u <= 0x9FFF) || (u >= 0x3000 && u <= 0x303F) || (u >= 0xFF00 && u <= 0xFFEF);
}

// Tesseract puts a space between Chinese characters; the text reads, and is searched, without them.
QString joinedHan(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u' ' && !out.isEmpty() && isHan(out.back())) {
            qsizetype next = i;
            while (next < text.size() && text.at(next) == u' ')
                ++next;
            if (next < text.size() && isHan(text.at(next))) {
                i = next - 1;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

bool cancelled(void* flag, int)
{
    return flag && static_cast<const std::atomic_bool*>(flag)->load(std::memory_order_relaxed);
}

} // namespace

// Tesseract's C interface, looked up in the library once it is opened.
struct TesseractRecognizer::Engine
{
    void* library = nullptr;
    TessBaseAPI* api = nullptr;
    decltype(&TessBaseAPICreate) create = nullptr;
    decltype(&TessBaseAPIDelete) destroy = nullptr;
    decltype(&TessBaseAPIInit4) init = nullptr;
    decltype(&TessBaseAPIEnd) end = nullptr;
    decltype(&TessBaseAPISetPageSegMode) setPageSegMode = nullptr;
    decltype(&TessBaseAPISetImage) setImage = nullptr;
    decltype(&TessBaseAPISetSourceResolution) setSourceResolution = nullptr;
    decltype(&TessBaseAPIRecognize) recognize = nullptr;
    decltype(&TessBaseAPIGetUTF8Text) utf8Text = nullptr;
    decltype(&TessDeleteText) deleteText = nullptr;
    decltype(&TessBaseAPIClear) clear = nullptr;
    decltype(&TessMonitorCreate) monitorCreate = nullptr;
    decltype(&TessMonitorDelete) monitorDelete = nullptr;
    decltype(&TessMonitorSetDeadlineMSecs) monitorSetDeadline = nullptr;
    decltype(&TessMonitorSetCancelFunc) monitorSetCancelFunc = nullptr;
    decltype(&TessMonitorSetCancelThis) monitorSetCancelThis = nullptr;

    bool resolveAll()
    {
        using SharedLibrary::resolve;
        return resolve(library, "TessBaseAPICreate", create) && resolve(library, "TessBaseAPIDelete", destroy) &&
               resolve(library, "TessBaseAPIInit4", init) && resolve(library, "TessBaseAPIEnd", end) &&
               resolve(library, "TessBaseAPISetPageSegMode", setPageSegMode) &&
               resolve(library, "TessBaseAPISetImage", setImage) &&
               resolve(library, "TessBaseAPISetSourceResolution", setSourceResolution) &&
               resolve(library, "TessBaseAPIRecognize", recognize) &&
               resolve(library, "TessBaseAPIGetUTF8Text", utf8Text) && resolve(library, "TessDeleteText", deleteText) &&
               resolve(library, "TessBaseAPIClear", clear) && resolve(library, "TessMonitorCreate", monitorCreate) &&
               resolve(library, "TessMonitorDelete", monitorDelete) &&
               resolve(library, "TessMonitorSetDeadlineMSecs", monitorSetDeadline) &&
               resolve(library, "TessMonitorSetCancelFunc", monitorSetCancelFunc) &&
               resolve(library, "TessMonitorSetCancelThis", monitorSetCancelThis);
    }

    ~Engine()
    {
        if (api) {
            end(api);
            destroy(api);
        }
        if (library)
            ::dlclose(library);
    }
};

TesseractRecognizer::TesseractRecognizer() = default;

TesseractRecognizer::~TesseractRecognizer()
{
    release();
}

QString TesseractRecognizer::dataDirectory()
{
    QStringList candidates;
    const QString prefix = qEnvironmentVariable("TESSDATA_PREFIX");
    if (!prefix.isEmpty())
        candidates << prefix << prefix + QStringLiteral("/tessdata");
    // Where Debian's language packages put their data, by Tesseract version.
    candidates << QStringLiteral("/usr/share/tesseract-ocr/5/tessdata")
               << QStringLiteral("/usr/share/tesseract-ocr/4.00/tessdata") << QStringLiteral("/usr/share/tessdata");
    for (const QString& dir : std::as_const(candidates)) {
        if (hasLanguages(dir))
            return QDir::cleanPath(dir);
    }
    return {};
}

bool TesseractRecognizer::libraryInstalled()
{
    // Found where the dynamic loader looks, without loading it: it links some fifty other libraries.
    QStringList folders = qEnvironmentVariable("LD_LIBRARY_PATH").split(u':', Qt::SkipEmptyParts);
    // The C library's folder is the system's library folder, e.g. /lib/x86_64-linux-gnu.
    Dl_info info = {};
    if (::dladdr(reinterpret_cast<void*>(&::free), &info) != 0 && info.dli_fname) {
        const QString system = QFileInfo(QFile::decodeName(info.dli_fname)).path();
        folders << system << QFileInfo(QFile::decodeName(info.dli_fname)).canonicalPath();
        folders << (system.startsWith(QStringLiteral("/usr/")) ? system.mid(4) : QStringLiteral("/usr") + system);
    }
    folders << QStringLiteral("/usr/local/lib") << QStringLiteral("/usr/lib") << QStringLiteral("/lib");
    return std::any_of(folders.cbegin(), folders.cend(), [](const QString& folder) {
        return QFileInfo::exists(folder + QLatin1Char('/') + QLatin1String(libraryName));
    });
}

QString TesseractRecognizer::unavailableReason() const
{
    // Either the engine or a language missing: recognition cannot run, and nothing else would tell.
    if (dataDirectory().isEmpty() || !libraryInstalled())
        return QStringLiteral("需要安装 tesseract-ocr");
    return {};
}

bool TesseractRecognizer::load()
{
    if (m_engine)
        return true;
    if (m_libraryMissing)
        return false;
    const QString dir = dataDirectory();
    if (dir.isEmpty())
        return false;
    auto engine = std::make_unique<Engine>();
    engine->library = ::dlopen(libraryName, RTLD_NOW | RTLD_LOCAL);
    if (!engine->library || !engine->resolveAll()) {
        // The data is there but not the engine: a broken installation, where every image stays without
        // text, as after any failure.
        m_libraryMissing = true;
        return false;
    }
    engine->api = engine->create();
    // Tesseract's notes and warnings go nowhere; only the program speaks to the user.
    char debugFile[] = "debug_file";
    char devNull[] = "/dev/null";
    char* names[] = {debugFile};
    char* values[] = {devNull};
    const QByteArray path = QFile::encodeName(dir);
    if (engine->init(engine->api, path.constData(), languages, tesseract::OEM_LSTM_ONLY, nullptr, 0, names, values, 1,
                     0) != 0)
        return false;
    engine->setPageSegMode(engine->api, tesseract::PSM_AUTO);
    m_engine = std::move(engine);
    return true;
}

void TesseractRecognizer::release()
{
    if (!m_engine)
        return;
    m_engine.reset();
    // The engine frees many small blocks; hand the pages back to the system at once.
    FreeMemory::giveBack();
}

QImage TesseractRecognizer::prepared(const QImage& image)
{
    // Too small to hold a letter; Tesseract would only complain.
    if (image.isNull() || image.width() < 3 || image.height() < 3)
        return {};
    QImage gray = image;
    if (gray.width() > maxImageSide || gray.height() > maxImageSide)
        gray = gray.scaled(maxImageSide, maxImageSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (!gray.hasAlphaChannel())
        return gray.convertToFormat(QImage::Format_Grayscale8);
    // Transparent parts read as white paper, not as black. Blended a row at a time straight into grey,
    // so a large picture is never held twice at four bytes a pixel.
    const QImage colour = gray.convertToFormat(QImage::Format_ARGB32);
    gray = QImage();
    QImage out(colour.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < colour.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(colour.constScanLine(y));
        uchar* row = out.scanLine(y);
        for (int x = 0; x < colour.width(); ++x) {
            const int alpha = qAlpha(in[x]);
            row[x] = uchar((qGray(in[x]) * alpha + 255 * (255 - alpha)) / 255);
        }
    }
    return out;
}

QString TesseractRecognizer::recognize(const QImage& image, const std::atomic_bool* cancel)
{
    const QImage gray = prepared(image);
    if (gray.isNull() || !load())
        return {};
    const Engine& engine = *m_engine;
    engine.setImage(engine.api, gray.constBits(), gray.width(), gray.height(), 1, int(gray.bytesPerLine()));
    // Screenshots carry no resolution; this keeps Tesseract from guessing (and saying so).
    engine.setSourceResolution(engine.api, 96);
    ETEXT_DESC* monitor = engine.monitorCreate();
    engine.monitorSetDeadline(monitor, timeLimitMs);
    engine.monitorSetCancelFunc(monitor, &cancelled);
    engine.monitorSetCancelThis(monitor, const_cast<std::atomic_bool*>(cancel));
    QElapsedTimer clock;
    clock.start();
    QString text;
    // A run cut short by the time limit or by `cancel` keeps nothing.
    if (engine.recognize(engine.api, monitor) == 0 && clock.elapsed() < timeLimitMs && !(cancel && cancel->load())) {
        if (char* utf8 = engine.utf8Text(engine.api)) {
            text = joinedHan(QString::fromUtf8(utf8)).trimmed();
            engine.deleteText(utf8);
        }
    }
    engine.monitorDelete(monitor);
    engine.clear(engine.api);
    return limitedText(text);
}
