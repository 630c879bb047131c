#pragma once

#include <QWidget>

class QScrollArea;

// The privacy policy and terms: a fixed 460 x 600 scrolling document with a header, eight numbered
// sections and a centred footer. It reads nothing and changes nothing.
class PrivacyPolicyView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int viewWidth = 460;
    static constexpr int viewHeight = 600;

    struct Section
    {
        QString title;
        QString content;
    };
    static const QList<Section>& sections();

    explicit PrivacyPolicyView(QWidget* parent = nullptr);

    QScrollArea* scrollArea() const { return m_scrollArea; }

protected:
    void paintEvent(QPaintEvent* event) override;
    // Escape and Ctrl+W close the window the view is in.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void applyTheme();

    QScrollArea* m_scrollArea;
};
