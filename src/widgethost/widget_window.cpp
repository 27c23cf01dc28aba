#include "widget_window.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QWindow>

WidgetWindow::WidgetWindow(const WidgetExtension& extension, const Clock& clock, QString kind,
                           WidgetFamily family)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint),
      m_extension(extension),
      m_clock(clock),
      m_kind(std::move(kind)),
      m_family(family) {
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(m_extension.familySize(family).toSize());
}

void WidgetWindow::showEntry(const LimitEntry& entry) {
    if (m_entry == entry) {
        return;
    }
    m_entry = entry;
    setAccessibleName(
        m_extension.accessibleTexts(m_kind, m_family, entry, entry.date).join(QLatin1Char('\n')));
    update();
}

void WidgetWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (!m_entry) {
        return;
    }
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    m_extension.paint(painter, QRectF(rect()), m_kind, m_family, *m_entry,
                      {.dark = desktopPrefersDark(), .showsBackground = true}, m_clock.now());
}

void WidgetWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    // The compositor moves the window where it can (Wayland among them); otherwise by hand.
    if (windowHandle() != nullptr && windowHandle()->startSystemMove()) {
        m_grabOffset.reset();
        return;
    }
    m_grabOffset = event->globalPosition().toPoint() - pos();
}

void WidgetWindow::mouseMoveEvent(QMouseEvent* event) {
    if (m_grabOffset && event->buttons().testFlag(Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - *m_grabOffset);
    }
}

void WidgetWindow::contextMenuEvent(QContextMenuEvent* event) {
    Q_EMIT contextMenuRequested(event->globalPos());
}

void WidgetWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    Q_EMIT moved(pos());
}

bool desktopPrefersDark() {
    const QPalette palette = QGuiApplication::palette();
    return palette.color(QPalette::Window).lightness() <
           palette.color(QPalette::WindowText).lightness();
}
