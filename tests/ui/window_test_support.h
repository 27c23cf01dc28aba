#pragma once

#include <QAbstractButton>
#include <QAccessible>
#include <QDesktopServices>
#include <QUrl>
#include <QWidget>

#include "model/agent_usage.h"

namespace test {

// A usage with the given windows: (duration, used percent) pairs.
inline AgentUsage usageWith(const AgentProvider& provider,
                            std::initializer_list<std::pair<std::int64_t, std::int64_t>> windows) {
    AgentUsage usage;
    for (const auto& [duration, used] : windows) {
        usage.windows.push_back({used, duration, Timestamp(788918400 + 7200)});
    }
    usage.provider = provider;
    usage.agentName = provider == AgentProvider::codex() ? "Codex" : "Claude";
    usage.planType = "pro";
    return usage;
}

// The widgets under `root` that `root` shows (visible when it is), of type W, whose name for
// screen readers is `accessibleName`.
template <typename W = QWidget>
QList<W*> shown(const QWidget& root, const QString& accessibleName) {
    QList<W*> found;
    for (W* widget : root.findChildren<W*>()) {
        const QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        if (accessible != nullptr && accessible->text(QAccessible::Name) == accessibleName &&
            widget->isVisibleTo(&root)) {
            found.append(widget);
        }
    }
    return found;
}

inline bool shows(const QWidget& root, const QString& accessibleName) {
    return !shown(root, accessibleName).isEmpty();
}

inline QAbstractButton* button(const QWidget& root, const QString& accessibleName) {
    const QList<QAbstractButton*> buttons = shown<QAbstractButton>(root, accessibleName);
    return buttons.size() == 1 ? buttons.front() : nullptr;
}

}  // namespace test

namespace test {

// Takes the place of the default browser: QDesktopServices hands it the URLs it would open.
class UrlRecorder final : public QObject {
    Q_OBJECT

public:
    explicit UrlRecorder(const QString& scheme) : m_scheme(scheme) {
        QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~UrlRecorder() override { QDesktopServices::unsetUrlHandler(m_scheme); }
    Q_DISABLE_COPY_MOVE(UrlRecorder)

    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }

private:
    QString m_scheme;
};

}  // namespace test
