#include "PanelWindow.h"

#include "TrayController.h"

#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

PanelWindow::PanelWindow(QWidget* content, const QSize& size, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_content(content)
{
    setObjectName(QStringLiteral("panelWindow"));
    setWindowTitle(QStringLiteral("Pellamor"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("com.pellamor.app"), TrayController::statusIcon(false)));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    // The panel's column is 340 wide; the window may grow taller to list more at once.
    setMinimumHeight(150);
    m_requested = size;
    resize(size);
}

void PanelWindow::fitHeight(int height)
{
    if (m_sizedByUser)
        return;
    m_requested = QSize(width(), std::max(height, minimumHeight()));
    resize(m_requested);
}

void PanelWindow::resizeEvent(QResizeEvent* event)
{
    // A size the program did not ask for is the user's (or the window manager's): it is kept.
    if (isVisible() && event->size() != m_requested)
        m_sizedByUser = true;
    QWidget::resizeEvent(event);
}

void PanelWindow::present()
{
    if (!m_placed) {
        m_placed = true;
        const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (screen)
            move(screen->availableGeometry().center() - rect().center());
    }
    show();
    raise();
    activateWindow();
}

void PanelWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
