#pragma once

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDesktopServices>
#include <QUrl>
#include <QWidget>
#include <array>

#include "support/run_task.h"

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

// The desktop colours of a dark scheme.
inline QPalette darkPalette() {
    return QPalette(QColor(44, 44, 46), QColor(30, 30, 32));
}

// Pictures of `view` in the desktop's light colours, then in dark ones, each once `followed(dark)`
// says the view has followed; kept as <name>-light.png and <name>-dark.png where
// QUOTAMIND_SCREENSHOT_DIR says (the pictures of the documentation).
template <typename Followed>
std::array<QImage, 2> inBothSchemes(QWidget& view, const QString& name, Followed followed) {
    const QPalette light = QApplication::palette();
    const QString folder = qEnvironmentVariable("QUOTAMIND_SCREENSHOT_DIR");
    std::array<QImage, 2> images;
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? darkPalette() : light);
        EXPECT_TRUE(processEventsUntil([&] { return followed(dark); })) << "dark " << dark;
        QCoreApplication::processEvents();
        images[dark] = view.grab().toImage();
        if (!folder.isEmpty()) {
            images[dark].save(folder + u'/' + name +
                              (dark ? QStringLiteral("-dark.png") : QStringLiteral("-light.png")));
        }
    }
    QApplication::setPalette(light);
    return images;
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
