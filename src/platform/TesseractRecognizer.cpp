#include "TesseractRecognizer.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>

#include <malloc.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>

namespace {

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

QString TesseractRecognizer::unavailableReason() const
{
    if (dataDirectory().isEmpty())
        return QStringLiteral("未找到中文和英文的文字识别数据（tesseract-ocr-chi-sim、tesseract-ocr-eng）");
    return {};
}

bool TesseractRecognizer::load()
{
    if (m_api)
        return true;
    const QString dir = dataDirectory();
    if (dir.isEmpty())
        return false;
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    // Tesseract's notes and warnings go nowhere; only the program speaks to the user.
    std::vector<std::string> names{"debug_file"};
    std::vector<std::string> values{"/dev/null"};
    const QByteArray path = QFile::encodeName(dir);
    if (api->Init(path.constData(), languages, tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false) != 0)
        return false;
    api->SetPageSegMode(tesseract::PSM_AUTO);
    m_api = std::move(api);
    return true;
}

void TesseractRecognizer::release()
{
    if (!m_api)
        return;
    m_api->End();
    m_api.reset();
    // The engine frees many small blocks; hand the pages back to the system at once.
    malloc_trim(0);
}

QString TesseractRecognizer::recognize(const QImage& image, const std::atomic_bool* cancel)
{
    // Too small to hold a letter; Tesseract would only complain.
    if (image.isNull() || image.width() < 3 || image.height() < 3)
        return {};
    if (!load())
        return {};
    QImage gray = image;
    if (gray.width() > maxImageSide || gray.height() > maxImageSide)
        gray = gray.scaled(maxImageSide, maxImageSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (gray.hasAlphaChannel()) {
        // Transparent parts read as white paper, not as black.
        QImage flat(gray.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, gray);
        painter.end();
        gray = flat;
    }
    gray = gray.convertToFormat(QImage::Format_Grayscale8);

    m_api->SetImage(gray.constBits(), gray.width(), gray.height(), 1, int(gray.bytesPerLine()));
    // Screenshots carry no resolution; this keeps Tesseract from guessing (and saying so).
    m_api->SetSourceResolution(96);
    tesseract::ETEXT_DESC monitor;
    monitor.set_deadline_msecs(timeLimitMs);
    monitor.cancel = &cancelled;
    monitor.cancel_this = const_cast<std::atomic_bool*>(cancel);
    QString text;
    // A run cut short by the time limit or by `cancel` keeps nothing.
    if (m_api->Recognize(&monitor) == 0 && !monitor.deadline_exceeded() && !(cancel && cancel->load())) {
        std::unique_ptr<char[]> utf8(m_api->GetUTF8Text());
        if (utf8)
            text = joinedHan(QString::fromUtf8(utf8.get())).trimmed();
    }
    m_api->Clear();
    return limitedText(text);
}
