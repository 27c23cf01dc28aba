#include "gallery_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

#include "widgethost/widget_image.h"
#include "widgethost/widget_window.h"

GalleryWindow::GalleryWindow(const WidgetExtension& extension, const Clock& clock) {
    setWindowTitle(tr("Add Widget"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    const Timestamp now = clock.now();
    const qreal scale = devicePixelRatioF();
    const WidgetRenderOptions options{.dark = desktopPrefersDark(), .showsBackground = true};
    for (const WidgetKindInfo& info : extension.kinds()) {
        auto* name = new QLabel(info.displayName);
        QFont bold = name->font();
        bold.setBold(true);
        name->setFont(bold);
        column->addWidget(name);
        column->addWidget(new QLabel(info.description));
        auto* previews = new QHBoxLayout;
        for (const WidgetFamily family : info.families) {
            const LimitEntry entry = extension.snapshot(info.kind, {}, true, now);
            auto* button = new QToolButton;
            const QPixmap preview = QPixmap::fromImage(
                renderWidgetImage(extension, info.kind, family, entry, options, now, scale));
            button->setIcon(preview);
            button->setIconSize(extension.familySize(family).toSize());
            button->setAutoRaise(true);
            button->setToolTip(tr("Place this widget on the desktop"));
            button->setAccessibleName(
                QStringLiteral("%1 %2").arg(info.displayName, widgetFamilyName(family)));
            connect(button, &QToolButton::clicked, this,
                    [this, kind = info.kind, family] { Q_EMIT placeRequested(kind, family); });
            previews->addWidget(button);
        }
        previews->addStretch();
        column->addLayout(previews);
    }
    column->addStretch();
    auto* scroll = new QScrollArea;
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
    resize(content->sizeHint().width() + 32, 600);
}
