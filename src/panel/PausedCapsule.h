#pragma once

#include "ui/ScaleButton.h"

// The header's "已暂停" capsule: shown while recording is paused; a click resumes recording.
class PausedCapsule : public ScaleButton
{
    Q_OBJECT

public:
    explicit PausedCapsule(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintFace(QPainter& painter, const QRectF& rect) override;
};
