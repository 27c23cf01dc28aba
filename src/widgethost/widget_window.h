#pragma once

#include <QPoint>
#include <QWidget>
#include <optional>

#include "core/clock.h"
#include "widget/widget_extension.h"

// One placed widget on the desktop: a frameless window that stays below the others, draws the
// entry it was given and is moved by dragging. It decides nothing itself: the host gives it
// entries and answers its context menu.
//
// Stacking and position follow the window manager: on X11 the bottom hint becomes
// _NET_WM_STATE_BELOW and move() places the window; Wayland compositors decide both themselves.
class WidgetWindow final : public QWidget {
    Q_OBJECT

public:
    WidgetWindow(const WidgetExtension& extension, const Clock& clock, QString kind,
                 WidgetFamily family);
    Q_DISABLE_COPY_MOVE(WidgetWindow)

    const QString& kind() const { return m_kind; }
    WidgetFamily family() const { return m_family; }
    const std::optional<LimitEntry>& entry() const { return m_entry; }
    // Repaints only when the entry differs from the one shown.
    void showEntry(const LimitEntry& entry);

Q_SIGNALS:
    void contextMenuRequested(QPoint globalPosition);
    // The user finished moving the window (or the window manager moved it).
    void moved(QPoint position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    const WidgetExtension& m_extension;
    const Clock& m_clock;
    QString m_kind;
    WidgetFamily m_family;
    std::optional<LimitEntry> m_entry;
    // Where the pointer grabbed the window, while it is dragged by hand.
    std::optional<QPoint> m_grabOffset;
};

// Whether the desktop's colours are dark, so widgets are drawn in their dark appearance.
bool desktopPrefersDark();
