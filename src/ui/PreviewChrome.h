#pragma once

#include <QAbstractButton>

class QPainter;

// The "xmark.circle.fill" close button of the preview title bars, drawn without button chrome.
class PreviewCloseButton : public QAbstractButton
{
    Q_OBJECT

public:
    explicit PreviewCloseButton(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {20, 20}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Title text at 13 medium, padded 16 on the left, vertically centred in `bar`.
void paintPreviewTitle(QPainter& painter, const QRect& bar, const QString& title);
