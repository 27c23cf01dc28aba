#pragma once

#include <QAbstractButton>
#include <QAccessible>
#include <QDesktopServices>
#include <QUrl>
#include <QWidget>

namespace test {

// The widgets of type W under `root` that `root` shows (visible when it is) and whose name for
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
