#pragma once

#include "platform/TextRecognizer.h"

#include <memory>

// Tesseract with Simplified Chinese and English together (Debian: libtesseract5, tesseract-ocr-chi-sim,
// tesseract-ocr-eng), in this process. The library is opened on the first recognize(): it links some
// fifty others, and a process that never reads an image maps none of them. Once opened it stays, since
// it cannot be unloaded; the engine is kept until release(). Tesseract's own messages go nowhere.
class TesseractRecognizer : public TextRecognizer
{
public:
    static constexpr const char* languages = "chi_sim+eng";

    TesseractRecognizer();
    ~TesseractRecognizer() override;

    QString recognize(const QImage& image, const std::atomic_bool* cancel = nullptr) override;
    void release() override;
    bool isLoaded() const override { return m_engine != nullptr; }
    QString unavailableReason() const override;

    // The folder holding both languages' data, or empty.
    static QString dataDirectory();
    // The library is where the dynamic loader would find it.
    static bool libraryInstalled();
    // `image` as the engine reads it: without alpha, in shades of grey, no larger than maxImageSide; null
    // when it is too small to hold a letter.
    static QImage prepared(const QImage& image);

private:
    struct Engine;

    bool load();

    std::unique_ptr<Engine> m_engine;
    bool m_libraryMissing = false;
};
