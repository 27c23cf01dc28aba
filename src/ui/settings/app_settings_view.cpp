#include "app_settings_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QVariant>
#include <algorithm>

#include "notify/limit_notification_manager.h"
#include "notify/threshold_alerts.h"
#include "store/codex_sign_in.h"
#include "store/phone_link.h"
#include "store/usage_store.h"
#include "symbols/symbols.h"
#include "ui/common/color_scheme.h"
#include "ui/tray/tray_icon_appearance.h"
#include "ui/tray/tray_icon_settings.h"

namespace {

constexpr int kSymbolSize = 14;
constexpr int kRowHorizontalMargin = 12;
constexpr int kRowVerticalMargin = 8;
constexpr double kCardRadius = 8;
// A window taller than this share of the screen scrolls instead.
constexpr double kLargestScreenShare = 0.85;

using ActionHandler = std::function<void(SettingsAction, const QVariant&)>;

QColor secondaryColor(const QPalette& palette) {
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.55);
    return color;
}

QColor orangeColor(const QPalette& palette) {
    return colorSchemeOf(palette) == ColorScheme::Dark ? QColor(0xFF, 0x9F, 0x0A)
                                                       : QColor(0xE0, 0x7B, 0x00);
}

QColor destructiveColor(const QPalette& palette) {
    return colorSchemeOf(palette) == ColorScheme::Dark ? QColor(0xFF, 0x45, 0x3A)
                                                       : QColor(0xD7, 0x26, 0x1C);
}

void setTextColor(QWidget* widget, const QColor& color, QPalette::ColorRole role) {
    QPalette palette = widget->palette();
    palette.setColor(role, color);
    widget->setPalette(palette);
}

// `font` at `scale` times its size, for footnotes and captions.
QFont scaledFont(QFont font, double scale) {
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * scale);
    } else {
        font.setPixelSize(std::max(1, static_cast<int>(font.pixelSize() * scale)));
    }
    return font;
}

// Texts from outside (error texts, agent and plan names) are never read as markup.
QLabel* plainLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

void showSymbol(QLabel* label, const QString& symbol, const QColor& color) {
    label->setVisible(!symbol.isEmpty());
    if (symbol.isEmpty()) {
        return;
    }
    const qreal ratio = label->devicePixelRatioF();
    const int pixels = qRound(kSymbolSize * ratio);
    label->setPixmap(
        QPixmap::fromImage(Symbols::image(symbol, QSize(pixels, pixels), ratio, color)));
}

// One row of a section card, built for its control and updated in place while the form keeps
// its shape.
class RowWidget final : public QWidget {
public:
    RowWidget(const SettingsRow& row, const ActionHandler& onAction, QWidget* parent)
        : QWidget(parent), m_control(row.control) {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(kRowHorizontalMargin, kRowVerticalMargin, kRowHorizontalMargin,
                                   kRowVerticalMargin);
        layout->setSpacing(8);
        const SettingsAction action = row.action;
        switch (row.control) {
            case SettingsControl::Value: {
                m_title = plainLabel(this);
                m_symbol = new QLabel(this);
                m_value = plainLabel(this);
                m_value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
                m_caption = plainLabel(this);
                m_caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
                m_caption->setFont(scaledFont(font(), 0.8));
                auto* values = new QVBoxLayout;
                values->setSpacing(1);
                values->addWidget(m_value);
                values->addWidget(m_caption);
                layout->addWidget(m_title);
                layout->addStretch(1);
                layout->addWidget(m_symbol);
                layout->addLayout(values);
                break;
            }
            case SettingsControl::Label:
            case SettingsControl::Footnote:
            case SettingsControl::Warning:
                m_symbol = new QLabel(this);
                m_symbol->setAlignment(Qt::AlignTop);
                m_value = plainLabel(this);
                m_value->setWordWrap(true);
                if (row.control != SettingsControl::Label) {
                    m_value->setFont(scaledFont(font(), 0.85));
                }
                layout->addWidget(m_symbol, 0, Qt::AlignTop);
                layout->addWidget(m_value, 1);
                break;
            case SettingsControl::Toggle:
                m_toggle = new QCheckBox(this);
                QObject::connect(m_toggle, &QCheckBox::clicked, this,
                                 [onAction, action](bool on) { onAction(action, on); });
                layout->addWidget(m_toggle);
                break;
            case SettingsControl::Button:
                m_button = new QPushButton(this);
                m_button->setAutoDefault(false);
                QObject::connect(m_button, &QPushButton::clicked, this,
                                 [onAction, action] { onAction(action, {}); });
                layout->addWidget(m_button);
                layout->addStretch(1);
                break;
            case SettingsControl::TextField:
                m_title = plainLabel(this);
                m_field = new QLineEdit(this);
                m_field->setMaximumWidth(160);
                m_title->setBuddy(m_field);
                QObject::connect(m_field, &QLineEdit::editingFinished, this,
                                 [this, onAction, action] { onAction(action, m_field->text()); });
                layout->addWidget(m_title);
                layout->addStretch(1);
                layout->addWidget(m_field);
                break;
            case SettingsControl::Picker:
                m_title = plainLabel(this);
                m_picker = new QComboBox(this);
                m_title->setBuddy(m_picker);
                QObject::connect(m_picker, &QComboBox::activated, this,
                                 [this, onAction, action](int index) {
                                     onAction(action, m_picker->itemData(index));
                                 });
                layout->addWidget(m_title);
                layout->addStretch(1);
                layout->addWidget(m_picker);
                break;
        }
        apply(row);
    }

    void apply(const SettingsRow& row) {
        const QPalette& palette = parentWidget()->palette();
        const QColor secondary = secondaryColor(palette);
        const QColor primary = palette.color(QPalette::WindowText);
        setAccessibleName(row.title);
        setAccessibleDescription(row.caption.isEmpty() ? row.value
                                                       : row.value + u'\n' + row.caption);
        switch (m_control) {
            case SettingsControl::Value: {
                m_title->setText(row.title);
                m_value->setText(row.value);
                m_value->setAccessibleName(row.value);
                setTextColor(m_value, row.secondary ? secondary : primary, QPalette::WindowText);
                m_caption->setText(row.caption);
                m_caption->setVisible(!row.caption.isEmpty());
                setTextColor(m_caption, secondary, QPalette::WindowText);
                showSymbol(m_symbol, row.symbol, row.secondary ? secondary : primary);
                break;
            }
            case SettingsControl::Label:
            case SettingsControl::Footnote:
            case SettingsControl::Warning: {
                const QColor color = m_control == SettingsControl::Warning    ? orangeColor(palette)
                                     : m_control == SettingsControl::Footnote ? secondary
                                                                              : primary;
                m_value->setText(row.title);
                m_value->setAccessibleName(row.title);
                setTextColor(m_value, color, QPalette::WindowText);
                showSymbol(m_symbol, row.symbol, color);
                break;
            }
            case SettingsControl::Toggle:
                m_toggle->setText(row.title);
                m_toggle->setAccessibleName(row.title);
                m_toggle->setChecked(row.on);
                break;
            case SettingsControl::Button:
                m_button->setText(row.title);
                m_button->setAccessibleName(row.title);
                m_button->setEnabled(row.enabled);
                if (row.destructive) {
                    setTextColor(m_button, destructiveColor(palette), QPalette::ButtonText);
                }
                break;
            case SettingsControl::Picker:
                applyPicker(row, palette);
                break;
            case SettingsControl::TextField:
                m_title->setText(row.title);
                m_field->setAccessibleName(row.title);
                m_field->setEnabled(row.enabled);
                // What the user is typing stays; a rebuilt window starts from the stored text.
                if (!m_field->hasFocus()) {
                    m_field->setText(row.value);
                }
                break;
        }
    }

private:
    void applyPicker(const SettingsRow& row, const QPalette& palette) {
        m_title->setText(row.title);
        m_picker->setAccessibleName(row.title);
        // Changed without signals, so only the user's choice reaches the handler; the entries
        // are kept while they stay the same, so an open list stays open.
        const QSignalBlocker blocker(m_picker);
        if (row.choices != m_choices) {
            m_choices = row.choices;
            m_picker->clear();
            for (const SettingsChoice& choice : m_choices) {
                if (choice.symbol.isEmpty()) {
                    m_picker->addItem(choice.title, choice.value);
                } else {
                    m_picker->addItem(
                        Symbols::icon(choice.symbol, palette.color(QPalette::ButtonText)),
                        choice.title, choice.value);
                }
            }
        }
        // A stored agent that is not in the snapshot selects nothing.
        m_picker->setCurrentIndex(m_picker->findData(row.selected));
    }

    SettingsControl m_control;
    QLabel* m_title = nullptr;
    QLabel* m_symbol = nullptr;
    QLabel* m_value = nullptr;
    QLabel* m_caption = nullptr;
    QCheckBox* m_toggle = nullptr;
    QPushButton* m_button = nullptr;
    QComboBox* m_picker = nullptr;
    QLineEdit* m_field = nullptr;
    std::vector<SettingsChoice> m_choices;
};

// A section's rounded card; its rows are separated by hairlines.
class SectionCard final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor window = palette().color(QPalette::Window);
        const bool dark = colorSchemeOf(palette()) == ColorScheme::Dark;
        QColor line = palette().color(QPalette::WindowText);
        line.setAlphaF(0.12);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCardRadius,
                             kCardRadius);
        painter.fillPath(shape, dark ? window.lighter(135) : window.lighter(106));
        painter.setPen(QPen(line, 1));
        painter.drawPath(shape);
        const QList<QWidget*> rows = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (qsizetype index = 0; index + 1 < rows.size(); ++index) {
            const double y = rows[index]->geometry().bottom() + 1.0;
            painter.drawLine(QPointF(kRowHorizontalMargin, y),
                             QPointF(width() - kRowHorizontalMargin, y));
        }
    }
};

// Same sections, same rows, same controls: the widgets can take the new values in place.
bool sameShape(const std::vector<SettingsSection>& left,
               const std::vector<SettingsSection>& right) {
    return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                      [](const SettingsSection& a, const SettingsSection& b) {
                          return a.heading == b.heading &&
                                 std::equal(
                                     a.rows.begin(), a.rows.end(), b.rows.begin(), b.rows.end(),
                                     [](const SettingsRow& x, const SettingsRow& y) {
                                         return x.control == y.control && x.action == y.action;
                                     });
                      });
}

}  // namespace

AppSettingsView::AppSettingsView(SettingsServices services, QWidget* parent)
    : QWidget(parent), m_services(std::move(services)), m_scrollArea(new QScrollArea(this)) {
    setWindowTitle(QCoreApplication::translate("AppSettingsView", "Quotamind Settings"));
    setAccessibleName(windowTitle());
    setFixedWidth(kWidth);
    m_iconProvider = m_services.preferences.string(TrayIconSettings::kProviderKey)
                         .value_or(QStringLiteral("codex"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    // The controls take focus, not the area that holds them.
    m_scrollArea->setFocusPolicy(Qt::NoFocus);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(m_scrollArea);

    UsageStore* store = &m_services.store;
    LimitNotificationManager* notifications = &m_services.notifications;
    for (auto signal : {&UsageStore::usageSnapshotChanged, &UsageStore::launchAtLoginEnabledChanged,
                        &UsageStore::lastReadTimesChanged}) {
        connect(store, signal, this, &AppSettingsView::scheduleRender);
    }
    for (auto signal : {&PhoneLink::pairedPhoneChanged, &PhoneLink::lastPhoneDataSentAtChanged}) {
        connect(&m_services.phone, signal, this, &AppSettingsView::scheduleRender);
    }
    connect(store, &UsageStore::sessionStatusChanged, this, &AppSettingsView::reloadCredentials);
    for (auto signal : {&LimitNotificationManager::isEnabledChanged,
                        &LimitNotificationManager::statusTitleChanged,
                        &LimitNotificationManager::lastErrorChanged}) {
        connect(notifications, signal, this, &AppSettingsView::scheduleRender);
    }
    render();
    reloadCredentials();
}

AppSettingsView::~AppSettingsView() = default;

SettingsState AppSettingsView::currentState() const {
    const UsageStore& store = m_services.store;
    const LimitNotificationManager& notifications = m_services.notifications;
    return {.snapshot = store.usageSnapshot(),
            .readTimes = store.lastReadTimes(),
            .iconProvider = m_iconProvider,
            .iconAppearance = TrayIconAppearance::rawValue(
                TrayIconAppearance::storedSetting(m_services.preferences)),
            .notificationsEnabled = notifications.isEnabled(),
            .notificationStatus = notifications.statusTitle(),
            .notificationError = notifications.lastError(),
            .thresholdAlertsEnabled = notifications.thresholdAlertsEnabled(),
            .thresholds = m_thresholdsText.value_or(
                ThresholdAlerts::formatPercents(notifications.thresholdPercents())),
            .thresholdsError = m_thresholdsText
                                   ? std::optional(tr("Thresholds are whole percents from 1 to "
                                                      "100, at most five, separated by commas."))
                                   : std::nullopt,
            .launchAtLogin = store.launchAtLoginEnabled(),
            .hasStoredCredentials = m_hasStoredCredentials,
            .phonePaired = m_services.phone.pairedPhone().has_value(),
            .lastPhoneDataSentAt = m_services.phone.lastPhoneDataSentAt()};
}

void AppSettingsView::scheduleRender() {
    if (m_renderPending) {
        return;
    }
    // Several announcements of one change (snapshot, errors, status) become one pass.
    m_renderPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_renderPending = false;
            render();
        },
        Qt::QueuedConnection);
}

void AppSettingsView::render() {
    std::vector<SettingsSection> sections = appSettingsSections(currentState());
    if (m_content && sameShape(sections, m_sections)) {
        std::size_t index = 0;
        for (const SettingsSection& section : sections) {
            for (const SettingsRow& row : section.rows) {
                static_cast<RowWidget*>(m_rows[index++])->apply(row);
            }
        }
    } else {
        rebuild(sections);
    }
    m_sections = std::move(sections);
    Q_EMIT rendered();
}

void AppSettingsView::rebuild(const std::vector<SettingsSection>& sections) {
    const QWidget* focused = focusWidget();
    const QString focusedName = focused ? focused->accessibleName() : QString();

    auto* content = new QWidget;
    m_rows.clear();
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(20, 16, 20, 20);
    layout->setSpacing(6);
    const ActionHandler onAction = [this](SettingsAction action, const QVariant& value) {
        perform(action, value);
    };
    for (const SettingsSection& section : sections) {
        auto* heading = plainLabel(content);
        heading->setText(section.heading);
        QFont headingFont = heading->font();
        headingFont.setBold(true);
        heading->setFont(headingFont);
        heading->setContentsMargins(4, 10, 0, 2);
        auto* card = new SectionCard(content);
        card->setAccessibleName(section.heading);
        auto* rows = new QVBoxLayout(card);
        rows->setContentsMargins(0, 2, 0, 2);
        rows->setSpacing(1);
        for (const SettingsRow& row : section.rows) {
            m_rows.push_back(new RowWidget(row, onAction, card));
            rows->addWidget(m_rows.back());
        }
        layout->addWidget(heading);
        layout->addWidget(card);
    }
    layout->addStretch(1);

    if (QWidget* previous = m_scrollArea->takeWidget()) {
        // Deleted later: the control whose click led here may still be running its handler.
        previous->deleteLater();
    }
    m_scrollArea->setWidget(content);
    m_content = content;

    // The control that had focus keeps it when it is still there (a toggle after its change).
    if (!focusedName.isEmpty()) {
        for (QWidget* candidate : content->findChildren<QWidget*>()) {
            if (candidate->focusPolicy() != Qt::NoFocus &&
                candidate->accessibleName() == focusedName) {
                candidate->setFocus(Qt::OtherFocusReason);
                break;
            }
        }
    }

    int height = content->sizeHint().height();
    if (const QScreen* screen = this->screen()) {
        height = std::min(
            height, static_cast<int>(screen->availableGeometry().height() * kLargestScreenShare));
    }
    resize(kWidth, height);
}

void AppSettingsView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_content) {
        // Colours are derived from the palette when the rows are built: build them again.
        m_sections.clear();
        scheduleRender();
    }
}

void AppSettingsView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape || event->matches(QKeySequence::Close)) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void AppSettingsView::perform(SettingsAction action, const QVariant& value) {
    switch (action) {
        case SettingsAction::ChooseIconProvider:
            chooseIconProvider(value.toString());
            break;
        case SettingsAction::ChooseIconAppearance:
            m_services.preferences.setString(TrayIconAppearance::kPreferenceKey, value.toString());
            redrawTrayIcon();
            break;
        case SettingsAction::SetNotifications:
            if (value.toBool()) {
                m_notificationsJob.start(&AppSettingsView::enableNotifications);
            } else {
                m_notificationsJob.cancel();
                m_services.notifications.disable();
            }
            break;
        case SettingsAction::SetThresholdAlerts:
            m_services.notifications.setThresholdAlerts(
                value.toBool(), m_services.notifications.thresholdPercents());
            scheduleRender();
            break;
        case SettingsAction::SetThresholds:
            // Text that is not a list of percents stays in the field with a warning.
            if (const auto percents = ThresholdAlerts::parsePercents(value.toString())) {
                m_thresholdsText.reset();
                m_services.notifications.setThresholdAlerts(
                    m_services.notifications.thresholdAlertsEnabled(), *percents);
            } else {
                m_thresholdsText = value.toString();
            }
            scheduleRender();
            break;
        case SettingsAction::SetLaunchAtLogin:
            m_launchAtLoginJob.start(&AppSettingsView::changeLaunchAtLogin, value.toBool());
            break;
        case SettingsAction::SignOut:
            m_signOutJob.start(&AppSettingsView::signOut);
            break;
        case SettingsAction::None:
            break;
    }
}

void AppSettingsView::chooseIconProvider(const QString& provider) {
    // Choosing the entry shown while nothing is stored still stores it: the tray then follows
    // the choice rather than the snapshot's first agent.
    if (m_services.preferences.string(TrayIconSettings::kProviderKey) != provider) {
        m_services.preferences.setString(TrayIconSettings::kProviderKey, provider);
    }
    m_iconProvider = provider;
    redrawTrayIcon();
}

void AppSettingsView::redrawTrayIcon() {
    Q_EMIT trayIconChanged();
    scheduleRender();
}

void AppSettingsView::reloadCredentials() {
    m_credentialsJob.start(&AppSettingsView::loadCredentials);
}

QCoro::Task<> AppSettingsView::loadCredentials(QPointer<AppSettingsView> view,
                                               CancellationToken token) {
    bool found = false;
    try {
        QCoro::Task<std::optional<CodexCredentials>> loading =
            view->m_services.account.loadCredentials();
        found = (co_await loading).has_value();
    } catch (const std::exception&) {
        // Credentials that cannot be read offer no sign-out.
    }
    token.throwIfCancelled();
    if (view && view->m_hasStoredCredentials != found) {
        view->m_hasStoredCredentials = found;
        view->scheduleRender();
    }
}

QCoro::Task<> AppSettingsView::enableNotifications(QPointer<AppSettingsView> view,
                                                   CancellationToken) {
    QCoro::Task<bool> enabling =
        view->m_services.notifications.enable(view->m_services.store.usageSnapshot());
    co_await enabling;
    // A refused permission changes nothing the manager announces; the toggle goes back.
    if (view) {
        view->scheduleRender();
    }
}

QCoro::Task<> AppSettingsView::changeLaunchAtLogin(QPointer<AppSettingsView> view,
                                                   CancellationToken, bool enabled) {
    QCoro::Task<> changing = view->m_services.store.setLaunchAtLogin(enabled);
    co_await changing;
    // The entry read back may equal the old state (a failed write): show it either way.
    if (view) {
        view->scheduleRender();
    }
}

QCoro::Task<> AppSettingsView::signOut(QPointer<AppSettingsView> view, CancellationToken) {
    QCoro::Task<> signingOut = view->m_services.signIn.signOut();
    co_await signingOut;
    if (view) {
        view->reloadCredentials();
    }
}
