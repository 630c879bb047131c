#pragma once

#include <QWidget>

#include <functional>

class StorageManager;

// A stored image at a readable size: fitted into 460 x 340, never cropped; a placeholder when the file
// is gone. The close button and Escape run the dismiss action of whoever hosts the view.
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

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QImage currentImage() const;
    void layoutCloseButton();

    StorageManager& m_storage;
    QString m_filename;
    std::function<void()> m_onDismiss;
    QWidget* m_closeButton;
};
