#include "platform/tesseract/TextRecognizerProcess.h"

#include "platform/Descriptors.h"
#include "platform/tesseract/TesseractRecognizer.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QtEndian>

#include <cerrno>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// An image goes as its width and height (32 bits each, little-endian) followed by its rows of 8-bit grey,
// without padding; its text comes back as a length (32 bits) followed by that many bytes of UTF-8.
constexpr qsizetype headerBytes = 8;
constexpr qsizetype lengthBytes = 4;

} // namespace

TextRecognizerProcess::TextRecognizerProcess(QString program, QStringList arguments)
    : m_program(std::move(program))
    , m_arguments(std::move(arguments))
{}

TextRecognizerProcess::~TextRecognizerProcess()
{
    stop();
}

QString TextRecognizerProcess::unavailableReason() const
{
    return TesseractRecognizer().unavailableReason();
}

bool TextRecognizerProcess::ensureStarted()
{
    if (m_process && m_process->state() == QProcess::Running)
        return true;
    stop();
    m_process = std::make_unique<QProcess>();
    m_process->setStandardErrorFile(QProcess::nullDevice());
    // One thread: Tesseract's OpenMP runtime would otherwise run a team of threads per image, spinning on
    // every core for a fraction of the work. The runtime reads its limit when the process starts (Qt's
    // hashing library links it), so it goes in the helper's environment.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    m_process->setProcessEnvironment(environment);
    m_process->start(m_program, m_arguments, QIODevice::ReadWrite | QIODevice::Unbuffered);
    if (!m_process->waitForStarted(startAllowanceMs)) {
        m_process.reset();
        return false;
    }
    m_running = true;
    return true;
}

void TextRecognizerProcess::stop()
{
    if (!m_process)
        return;
    // A helper between images leaves once its input closes; one in the middle of an image is stopped.
    m_process->closeWriteChannel();
    if (!m_process->waitForFinished(1000)) {
        m_process->kill();
        m_process->waitForFinished(1000);
    }
    m_process.reset();
    m_running = false;
}

void TextRecognizerProcess::release()
{
    stop();
}

QString TextRecognizerProcess::recognize(const QImage& image, const std::atomic_bool* cancel)
{
    const QImage gray = TesseractRecognizer::prepared(image);
    if (gray.isNull() || !ensureStarted())
        return {};
    const auto given = [cancel] { return cancel && cancel->load(); };
    const QDeadlineTimer deadline(timeLimitMs + startAllowanceMs);

    QByteArray request(headerBytes, Qt::Uninitialized);
    qToLittleEndian<quint32>(quint32(gray.width()), request.data());
    qToLittleEndian<quint32>(quint32(gray.height()), request.data() + 4);
    request.reserve(headerBytes + qsizetype(gray.width()) * gray.height());
    for (int y = 0; y < gray.height(); ++y)
        request.append(reinterpret_cast<const char*>(gray.constScanLine(y)), gray.width());
    m_process->write(request);
    request = {};

    QByteArray answer;
    qsizetype expected = -1;
    while (expected < 0 || answer.size() < lengthBytes + expected) {
        if (given() || deadline.hasExpired() || m_process->state() != QProcess::Running) {
            // Stopped, out of time, or crashed on this image: no text, and a fresh helper for the next.
            stop();
            return {};
        }
        if (m_process->bytesToWrite() > 0)
            m_process->waitForBytesWritten(50);
        else
            m_process->waitForReadyRead(50);
        answer.append(m_process->readAllStandardOutput());
        if (expected < 0 && answer.size() >= lengthBytes) {
            expected = qsizetype(qFromLittleEndian<quint32>(answer.constData()));
            if (expected > maxTextBytes) {
                stop();
                return {};
            }
        }
    }
    return limitedText(QString::fromUtf8(answer.constData() + lengthBytes, expected));
}

int TextRecognizerProcess::serve(TextRecognizer& recognizer)
{
    // Below every other process of the desktop: the scheduler's idle class, and nice 19.
    const sched_param idle{};
    ::sched_setscheduler(0, SCHED_IDLE, &idle);
    ::setpriority(PRIO_PROCESS, 0, 19);
    for (;;) {
        char header[headerBytes];
        if (!Descriptors::readFully(STDIN_FILENO, header, sizeof header))
            return 0;
        const quint32 width = qFromLittleEndian<quint32>(header);
        const quint32 height = qFromLittleEndian<quint32>(header + 4);
        if (width == 0 || height == 0 || width > quint32(maxImageSide) || height > quint32(maxImageSide))
            return 1;
        QImage image(int(width), int(height), QImage::Format_Grayscale8);
        for (int y = 0; y < image.height(); ++y) {
            if (!Descriptors::readFully(STDIN_FILENO, reinterpret_cast<char*>(image.scanLine(y)), width))
                return 0;
        }
        // Already cut to maxTextBytes, as the program expects.
        const QByteArray text = recognizer.recognize(image).toUtf8();
        char length[lengthBytes];
        qToLittleEndian<quint32>(quint32(text.size()), length);
        if (!Descriptors::writeFully(STDOUT_FILENO, length, sizeof length) ||
            !Descriptors::writeFully(STDOUT_FILENO, text.constData(), size_t(text.size())))
            return 0;
    }
}
