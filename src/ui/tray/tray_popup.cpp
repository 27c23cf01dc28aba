#include "tray_popup.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "store/phone_link.h"
#include "store/usage_store.h"
#include "ui/tray/tray_agent_meters.h"
#include "ui/tray/tray_popup_button.h"

namespace {

constexpr int kHeaderSpacing = 8;
constexpr int kEmptyStateSpacing = 10;
constexpr int kEmptyStateMargin = 6;

}  // namespace

TrayPopup::TrayPopup(UsageStore& store, const PhoneLink& phone, const Clock& clock, int squareSize,
                     int squareSpacing, QWidget* parent)
    : QWidget(parent),
      m_store(store),
      m_phone(phone),
      m_clock(clock),
      m_squareSize(squareSize),
      m_squareSpacing(squareSpacing),
      m_syncStatus(new SyncStatusIcon(this)),
      m_refreshButton(new TrayPopupButton(QStringLiteral("arrow.clockwise"),
                                          tr("Refresh Quotamind"), tr("Refresh"), this)),
      m_metersColumn(new QVBoxLayout),
      m_emptyState(new QWidget(this)) {
    setWindowTitle(QStringLiteral("Quotamind"));
    const int contentWidth = 2 * m_squareSize + m_squareSpacing;

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    column->setSpacing(kRowSpacing);
    // The popup takes exactly the size its content asks for.
    column->setSizeConstraint(QLayout::SetFixedSize);

    auto* header = new QWidget(this);
    header->setFixedWidth(contentWidth);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(0, 0, 0, 0);
    headerRow->setSpacing(kHeaderSpacing);
    auto* title = new QLabel(QStringLiteral("Quotamind"), header);
    // Headline and callout type, one pixel per point as on the cards.
    QFont headline = title->font();
    headline.setWeight(QFont::DemiBold);
    headline.setPixelSize(13);
    title->setFont(headline);
    auto* settings =
        new TrayPopupButton(QStringLiteral("gearshape"), tr("Settings"), tr("Settings"), header);
    auto* quit =
        new TrayPopupButton(QStringLiteral("power"), tr("Quit Quotamind"), tr("Quit"), header);
    m_syncStatus->setParent(header);
    m_refreshButton->setParent(header);
    headerRow->addWidget(title);
    headerRow->addStretch(1);
    for (QWidget* item :
         {static_cast<QWidget*>(m_syncStatus), static_cast<QWidget*>(m_refreshButton),
          static_cast<QWidget*>(settings), static_cast<QWidget*>(quit)}) {
        headerRow->addWidget(item);
    }
    column->addWidget(header);

    m_metersColumn->setContentsMargins(0, 0, 0, 0);
    m_metersColumn->setSpacing(kRowSpacing);
    column->addLayout(m_metersColumn);

    auto* emptyColumn = new QVBoxLayout(m_emptyState);
    emptyColumn->setContentsMargins(0, kEmptyStateMargin, 0, kEmptyStateMargin);
    emptyColumn->setSpacing(kEmptyStateSpacing);
    auto* hint = new QLabel(tr("Open Quotamind to connect Codex or Claude."), m_emptyState);
    hint->setForegroundRole(QPalette::PlaceholderText);
    QFont callout = hint->font();
    callout.setPixelSize(12);
    hint->setFont(callout);
    auto* open = new QPushButton(tr("Open Quotamind"), m_emptyState);
    emptyColumn->addWidget(hint);
    emptyColumn->addWidget(open, 0, Qt::AlignLeft);
    m_emptyState->setFixedWidth(contentWidth);
    column->addWidget(m_emptyState);

    connect(open, &QPushButton::clicked, this, &TrayPopup::openMainWindowRequested);
    connect(settings, &QAbstractButton::clicked, this, &TrayPopup::settingsRequested);
    connect(quit, &QAbstractButton::clicked, this, &TrayPopup::quitRequested);
    connect(m_refreshButton, &QAbstractButton::clicked, this, &TrayPopup::refreshRequested);
    connect(&m_store, &UsageStore::usageSnapshotChanged, this, &TrayPopup::updateMeters);
    // A reset time that passes changes what the cards may show as current.
    connect(&m_store, &UsageStore::resetReached, this, &TrayPopup::updateMeters);
    connect(&m_store, &UsageStore::forecastsChanged, this, &TrayPopup::updateMeters);
    connect(&m_store, &UsageStore::isRefreshingChanged, this, &TrayPopup::updateRefreshing);
    connect(&m_phone, &PhoneLink::pairedPhoneChanged, this, &TrayPopup::updatePhone);
    updateMeters();
    updateRefreshing();
    updatePhone();
}

TrayPopup::~TrayPopup() = default;

void TrayPopup::updateMeters() {
    const std::optional<AgentUsageSnapshot>& snapshot = m_store.usageSnapshot();
    std::map<std::string, TrayAgentMeters*> previous;
    previous.swap(m_meters);
    if (snapshot) {
        for (const AgentUsage& usage : snapshot->usages) {
            const std::string& provider = usage.provider.rawValue;
            TrayAgentMeters* meters = nullptr;
            if (auto found = previous.find(provider); found != previous.end()) {
                meters = found->second;
                previous.erase(found);
                m_metersColumn->removeWidget(meters);
            } else {
                meters = new TrayAgentMeters(m_clock, m_squareSize, m_squareSpacing, this);
            }
            meters->setUsage(usage, m_store.forecasts());
            // Re-added in snapshot order.
            m_metersColumn->addWidget(meters);
            m_meters.emplace(provider, meters);
        }
    }
    for (auto& [provider, meters] : previous) {
        delete meters;
    }
    m_emptyState->setVisible(m_meters.empty());
}

void TrayPopup::updateRefreshing() {
    const bool refreshing = m_store.isRefreshing();
    m_refreshButton->setBusy(refreshing);
    m_refreshButton->setEnabled(!refreshing);
}

void TrayPopup::updatePhone() {
    m_syncStatus->setPhonePaired(m_phone.pairedPhone().has_value());
}

void TrayPopup::paintEvent(QPaintEvent*) {
    // A popup has no frame of its own: a hairline keeps it apart from what lies beneath.
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    QColor line = palette().color(QPalette::WindowText);
    line.setAlphaF(0.15F);
    painter.setPen(line);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TrayPopup::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    Q_EMIT closed();
}
