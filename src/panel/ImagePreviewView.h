#pragma once

#include <QWidget>

#include <functional>

class EntryIntents;
class HistoryModel;
class StorageManager;

// A stored image at a readable size: fitted into 460 x 340, never cropped; a placeholder when the file
// is gone. The close button and Escape run the dismiss action of whoever hosts the view. An image with
// recognised text offers it in the title bar as "复制识别的文字".
class ImagePreviewView : public QWidget
{
    Q_OBJECT

public:
    static constexpr QSize frameSize{500, 400};
    static constexpr QSize maxImageSize{460, 340};

    ImagePreviewView(StorageManager& storage, const QString& filename, std::function<void()> onDismiss,
                     QWidget* parent = nullptr);

    // Where the image is drawn for the current file, or an empty rectangle when the placeholder shows.
    QRect imageRect() const;
    bool showsPlaceholder() const;
    // The whole column (title bar, separator, body), centred in the frame.
    QRect columnRect() const;
    static QSize fittedImageSize(const QSize& image);

    // The text read from the image, and how the host puts a text on the clipboard (through the
    // program's own write, so it is not captured again). The button shows only for a non-empty text.
    void setRecognizedText(const QString& text, std::function<void(const QString&)> copyText);
    QString recognizedText() const { return m_recognizedText; }
    // The same with the history's text of this image; the copy is announced on `intents`.
    void offerRecognizedText(const HistoryModel& history, EntryIntents& intents);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QImage currentImage() const;
    void layoutButtons();

    StorageManager& m_storage;
    QString m_filename;
    std::function<void()> m_onDismiss;
    QWidget* m_closeButton;
    QWidget* m_copyTextButton;
    QString m_recognizedText;
    std::function<void(const QString&)> m_copyText;
};
