#pragma once

#include "platform/TextRecognizer.h"

#include <QStringList>

#include <atomic>
#include <memory>

class QProcess;

// Reads the text of images in a helper process: the engine and the fifty libraries it links live and die
// there, so once released the program holds none of their memory, and an image that makes the engine
// crash costs that image its text, nothing more. The helper is started on the first recognize() and
// stopped by release(); both run on the one worker thread.
class TextRecognizerProcess : public TextRecognizer
{
public:
    // Started as the helper: `program arguments` must call serve().
    TextRecognizerProcess(QString program, QStringList arguments);
    ~TextRecognizerProcess() override;

    QString recognize(const QImage& image, const std::atomic_bool* cancel = nullptr) override;
    void release() override;
    bool isLoaded() const override { return m_running.load(); }
    QString unavailableReason() const override;

    // The helper's side: answers each image on standard input with its text on standard output, until
    // standard input closes. Returns the process's exit code.
    static int serve(TextRecognizer& recognizer);

    // What the program is given to become the helper.
    static constexpr const char* serveArgument = "--read-image-text";
    // Time the helper may take to start and load the engine, on top of the limit per image.
    static constexpr int startAllowanceMs = 10'000;

private:
    bool ensureStarted();
    void stop();

    QString m_program;
    QStringList m_arguments;
    std::unique_ptr<QProcess> m_process;
    std::atomic_bool m_running = false;
};
