#pragma once

#include "TextRecognizer.h"

#include <memory>

namespace tesseract {
class TessBaseAPI;
}

// Tesseract with Simplified Chinese and English together (Debian: tesseract-ocr-chi-sim,
// tesseract-ocr-eng). The engine is created on the first recognize() and kept until release().
// Tesseract's own messages go nowhere.
class TesseractRecognizer : public TextRecognizer
{
public:
    static constexpr const char* languages = "chi_sim+eng";

    TesseractRecognizer();
    ~TesseractRecognizer() override;

    QString recognize(const QImage& image, const std::atomic_bool* cancel = nullptr) override;
    void release() override;
    bool isLoaded() const override { return m_api != nullptr; }
    QString unavailableReason() const override;

    // The folder holding both languages' data, or empty.
    static QString dataDirectory();

private:
    bool load();

    std::unique_ptr<tesseract::TessBaseAPI> m_api;
    bool m_loadFailed = false;
};
