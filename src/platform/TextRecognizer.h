#pragma once

#include <QImage>
#include <QString>

#include <atomic>

// Reads the text in an image, on this machine only. One object serves one worker thread: recognize()
// and release() are never called at the same time; unavailableReason() may be asked from any thread.
class TextRecognizer
{
public:
    // Text kept per image, in bytes of UTF-8.
    static constexpr qsizetype maxTextBytes = 64 * 1024;
    // Larger images are scaled down to fit this square first.
    static constexpr int maxImageSide = 4000;
    // Longest time spent on one image.
    static constexpr int timeLimitMs = 30'000;

    virtual ~TextRecognizer() = default;

    // The text read from the image, trimmed and cut to maxTextBytes; empty for an image without text and
    // on any failure (which prints nothing). Loads the engine when it is not loaded. Gives up early, with
    // an empty result, once `cancel` is set.
    virtual QString recognize(const QImage& image, const std::atomic_bool* cancel = nullptr) = 0;
    // Frees the engine and its memory; the next recognize() loads it again.
    virtual void release() = 0;
    virtual bool isLoaded() const = 0;
    // Why recognition cannot run on this machine, for the settings; empty when it can.
    virtual QString unavailableReason() const = 0;

    // `text` cut at a character boundary to at most maxTextBytes of UTF-8.
    static QString limitedText(const QString& text);
};
