#include "limit_pane.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QStackedLayout>
#include <QVBoxLayout>

#include "store/codex_sign_in.h"
#include "store/usage_store.h"
#include "ui/common/pane_style.h"
#include "ui/mainwindow/limit_views.h"
#include "ui/mainwindow/provider_switcher.h"

namespace {

constexpr int kTopBarHeight = 52;
// Both ends of the top bar: the window manager draws the window buttons in its own title bar.
constexpr int kTopBarMargin = 14;
constexpr int kBannerTop = 72;
constexpr int kBannerSideMargin = 18;

bool holdsUsage(const UsageStore& store, const AgentProvider& provider) {
    return store.usageSnapshot() && (*store.usageSnapshot())[provider].has_value();
}

}  // namespace

LimitControls::LimitControls(UsageStore& store, QWidget* parent)
    : QWidget(parent),
      m_store(store),
      m_refresh(new HeaderIconButton(QStringLiteral("arrow.clockwise"), tr("Refresh"),
                                     tr("Refresh Quotamind"), this)) {
    auto* history = new HeaderIconButton(QStringLiteral("chart.xyaxis.line"), tr("History"),
                                         tr("History"), this);
    auto* settings =
        new HeaderIconButton(QStringLiteral("gearshape"), tr("Settings"), tr("Settings"), this);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(m_refresh);
    row->addWidget(history);
    row->addWidget(settings);
    connect(m_refresh, &QAbstractButton::clicked, this, &LimitControls::refresh);
    connect(history, &QAbstractButton::clicked, this, &LimitControls::historyRequested);
    connect(settings, &QAbstractButton::clicked, this, &LimitControls::settingsRequested);
    connect(&store, &UsageStore::isRefreshingChanged, this,
            [this] { m_refresh->setBusy(m_store.isRefreshing()); });
    m_refresh->setBusy(store.isRefreshing());
}

void LimitControls::refresh() {
    if (m_store.isRefreshing()) {
        return;
    }
    // The store reports its own failures; the task runs on after this call returns.
    QCoro::Task<> refreshing = m_store.refresh();
}

ProviderLimitPane::ProviderLimitPane(UsageStore& store, CodexSignIn& signIn, const Clock& clock,
                                     QWidget* parent)
    : QWidget(parent),
      m_store(store),
      m_accountSignIn(signIn),
      m_stack(new QStackedLayout(this)),
      m_signIn(new DeviceSignInView(this)),
      m_usage(new AgentUsagePane(clock, {}, this)),
      m_signedOut(new SignedOutLimitView(this)),
      m_loading(new EmptyLimitView(this)) {
    // In the order of Content.
    for (QWidget* view :
         std::initializer_list<QWidget*>{m_signIn, m_usage, m_signedOut, m_loading}) {
        m_stack->addWidget(view);
    }
    connect(m_signIn, &DeviceSignInView::cancelRequested, this,
            [this] { m_accountSignIn.cancelSignIn(); });
    connect(m_signedOut, &SignedOutLimitView::signInRequested, this,
            [this] { m_accountSignIn.beginSignIn(); });
    connect(m_signedOut, &SignedOutLimitView::checkAgainRequested, this,
            [this] { QCoro::Task<> refreshing = m_store.refresh(); });
}

ProviderLimitPane::Content ProviderLimitPane::contentFor(const AgentProvider& provider,
                                                         const UsageStore& store,
                                                         const CodexSignIn& signIn) {
    if (provider == AgentProvider::codex() && signIn.deviceCode()) {
        return Content::DeviceSignIn;
    }
    if (holdsUsage(store, provider)) {
        return Content::Usage;
    }
    // Background cycles leave the signed-out view and its buttons in place; only the first
    // cycle and one the user asked for show that something is being read.
    if (store.hasCompletedRefresh() && !store.isUserRefresh()) {
        return Content::SignedOut;
    }
    return Content::Loading;
}

void ProviderLimitPane::show(const AgentProvider& provider) {
    const Content content = contentFor(provider, m_store, m_accountSignIn);
    const QString name = paneStyle::displayName(provider);
    switch (content) {
        case Content::DeviceSignIn:
            m_signIn->setCode(*m_accountSignIn.deviceCode());
            break;
        case Content::Usage:
            m_usage->setUsage(*(*m_store.usageSnapshot())[provider]);
            break;
        case Content::SignedOut:
            m_signedOut->setContent(provider, m_store.error(provider));
            break;
        case Content::Loading:
            m_loading->setContent(
                tr("Loading %1 limits…").arg(name),
                tr("Quotamind is reading the signed-in %1 session on this computer.").arg(name),
                true);
            break;
    }
    m_stack->setCurrentIndex(static_cast<int>(content));
}

LimitPane::LimitPane(UsageStore& store, CodexSignIn& signIn, const Clock& clock, QWidget* parent)
    : QWidget(parent),
      m_store(store),
      m_switcher(new ProviderSwitcher(this)),
      m_controls(new LimitControls(store, this)),
      m_content(new ProviderLimitPane(store, signIn, clock, this)),
      m_banner(new ErrorBanner(this)) {
    auto* topBar = new QHBoxLayout;
    topBar->setContentsMargins(kTopBarMargin, 0, kTopBarMargin, 0);
    topBar->setSpacing(12);
    // The switcher sits in the middle of the bar, the controls at its end; an invisible twin of
    // the controls' width on the other side keeps the switcher centred.
    topBar->addSpacing(m_controls->sizeHint().width());
    topBar->addStretch(1);
    topBar->addWidget(m_switcher);
    topBar->addStretch(1);
    topBar->addWidget(m_controls);
    auto* topBarBox = new QWidget(this);
    topBarBox->setFixedHeight(kTopBarHeight);
    topBarBox->setLayout(topBar);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(topBarBox);
    column->addWidget(m_content, 1);

    connect(m_switcher, &ProviderSwitcher::selectionChanged, this,
            [this](const AgentProvider& provider) {
                m_selectedProvider = provider;
                updateContent();
            });
    connect(m_controls, &LimitControls::settingsRequested, this, &LimitPane::settingsRequested);
    connect(m_controls, &LimitControls::historyRequested, this, &LimitPane::historyRequested);
    for (auto signal : {&UsageStore::usageSnapshotChanged, &UsageStore::sessionStatusChanged,
                        &UsageStore::isRefreshingChanged, &UsageStore::errorsChanged,
                        &UsageStore::resetReached}) {
        connect(&store, signal, this, &LimitPane::updateContent);
    }
    connect(&signIn, &CodexSignIn::deviceCodeChanged, this, &LimitPane::updateContent);
    updateContent();
}

void LimitPane::refresh() {
    m_controls->refresh();
}

void LimitPane::updateContent() {
    m_content->show(m_selectedProvider);
    // Without a usage the signed-out view shows the error instead.
    const std::optional<QString> error = m_store.error(m_selectedProvider);
    const bool showsBanner = error && !error->isEmpty() && holdsUsage(m_store, m_selectedProvider);
    m_banner->setText(error.value_or(QString()));
    m_banner->setVisible(showsBanner);
    if (showsBanner) {
        placeBanner();
        m_banner->raise();
    }
}

void LimitPane::placeBanner() {
    const int available = width() - 2 * kBannerSideMargin;
    const int bannerWidth = std::min(m_banner->sizeHint().width(), available);
    const int bannerHeight = m_banner->hasHeightForWidth() ? m_banner->heightForWidth(bannerWidth)
                                                           : m_banner->sizeHint().height();
    m_banner->setGeometry((width() - bannerWidth) / 2, kBannerTop, bannerWidth, bannerHeight);
}

void LimitPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeBanner();
}

void LimitPane::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), paneStyle::cardBase());
}
