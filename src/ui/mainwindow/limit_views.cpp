#include "limit_views.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>

#include "symbols/symbols.h"
#include "ui/common/limit_meter_view.h"
#include "ui/common/pane_style.h"

using paneStyle::Type;

namespace {

// A vertical box whose rows are centred horizontally, with stretch above and below.
QVBoxLayout* centredColumn(QWidget* owner, int spacing, int margin) {
    auto* column = new QVBoxLayout(owner);
    column->setSpacing(spacing);
    column->setContentsMargins(margin, margin, margin, margin);
    column->setAlignment(Qt::AlignCenter);
    return column;
}

void addCentred(QVBoxLayout* column, QWidget* widget) {
    column->addWidget(widget, 0, Qt::AlignHCenter);
}

}  // namespace

HeaderIconButton::HeaderIconButton(QString symbol, const QString& accessibleName,
                                   const QString& toolTip, QWidget* parent)
    : QAbstractButton(parent),
      m_symbol(std::move(symbol)),
      m_indicator(new ActivityIndicator(16, paneStyle::white(1), this)) {
    setAccessibleName(accessibleName);
    setToolTip(toolTip);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setFixedSize(30, 30);
    m_indicator->move(7, 7);
    m_indicator->hide();
}

void HeaderIconButton::setBusy(bool busy) {
    m_busy = busy;
    setEnabled(!busy);
    m_indicator->setVisible(busy);
    update();
}

void HeaderIconButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(
        m_busy ? Qt::NoPen
               : QPen(paneStyle::white(paneStyle::showsKeyboardFocus(*this) ? 0.6 : 0.08), 1));
    painter.setBrush(paneStyle::white(isDown() ? 0.14 : 0.07));
    painter.drawEllipse(circle);
    if (!m_busy) {
        Symbols::paint(painter, m_symbol, QRectF(9, 9, 12, 12), paneStyle::white(1));
    }
}

EmptyLimitView::EmptyLimitView(QWidget* parent)
    : QWidget(parent),
      m_progress(new ActivityIndicator(32, paneStyle::white(1), this)),
      m_symbol(new SymbolView(QStringLiteral("terminal"), 42, paneStyle::white(1), this)),
      m_title(paneStyle::label({}, paneStyle::font(Type::Title2, QFont::Bold), paneStyle::white(1),
                               this)),
      m_message(paneStyle::paragraph({}, paneStyle::font(Type::Callout), paneStyle::white(0.65),
                                     340, this)) {
    QVBoxLayout* column = centredColumn(this, 12, 32);
    addCentred(column, m_progress);
    addCentred(column, m_symbol);
    addCentred(column, m_title);
    addCentred(column, m_message);
}

void EmptyLimitView::setContent(const QString& title, const QString& message, bool showsProgress) {
    m_progress->setVisible(showsProgress);
    m_symbol->setVisible(!showsProgress);
    m_title->setText(title);
    m_message->setText(message);
}

SignedOutLimitView::SignedOutLimitView(QWidget* parent)
    : QWidget(parent),
      m_symbol(new SymbolView({}, 42, paneStyle::white(1), this)),
      m_title(paneStyle::label({}, paneStyle::font(Type::Title2, QFont::Bold), paneStyle::white(1),
                               this)),
      m_explanation(paneStyle::paragraph({}, paneStyle::font(Type::Callout), paneStyle::white(0.65),
                                         360, this)),
      m_signIn(
          paneStyle::button(tr("Sign in with ChatGPT"), paneStyle::ButtonRole::Bordered, this)),
      m_error(paneStyle::paragraph({}, paneStyle::font(Type::Caption), paneStyle::white(0.62), 380,
                                   this)) {
    QPushButton* checkAgain =
        paneStyle::button(tr("Check Again"), paneStyle::ButtonRole::Prominent, this);
    connect(checkAgain, &QPushButton::clicked, this, &SignedOutLimitView::checkAgainRequested);
    connect(m_signIn, &QPushButton::clicked, this, &SignedOutLimitView::signInRequested);

    QVBoxLayout* column = centredColumn(this, 18, 32);
    addCentred(column, m_symbol);
    addCentred(column, m_title);
    addCentred(column, m_explanation);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addWidget(checkAgain);
    buttons->addWidget(m_signIn);
    column->addLayout(buttons);
    column->setAlignment(buttons, Qt::AlignHCenter);
    addCentred(column, m_error);
}

void SignedOutLimitView::setContent(const AgentProvider& provider,
                                    const std::optional<QString>& error) {
    const bool codex = provider == AgentProvider::codex();
    m_symbol->setSymbol(Symbols::forProvider(QString::fromStdString(provider.rawValue)),
                        paneStyle::white(1));
    m_title->setText(tr("Connect %1 on this computer").arg(paneStyle::displayName(provider)));
    m_explanation->setText(
        codex ? tr("The iPhone receives limits after this computer has a Codex or ChatGPT "
                   "session.")
              : tr("Sign in with Claude Code on this computer using `claude login`, then "
                   "refresh."));
    m_signIn->setVisible(codex);
    m_error->setText(error.value_or(QString()));
    m_error->setVisible(error.has_value() && !error->isEmpty());
}

void SignedOutLimitView::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), paneStyle::signedOutBackground());
}

DeviceSignInView::DeviceSignInView(QWidget* parent)
    : QWidget(parent),
      m_userCode(paneStyle::label({}, paneStyle::font(Type::LargeTitle, QFont::Bold),
                                  paneStyle::white(1), this)) {
    QFont monospaced = m_userCode->font();
    monospaced.setFamily(QStringLiteral("monospace"));
    monospaced.setStyleHint(QFont::Monospace);
    m_userCode->setFont(monospaced);
    m_userCode->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_userCode->setFocusPolicy(Qt::StrongFocus);
    m_userCode->setStyleSheet(
        QStringLiteral("color: white; background: rgba(255,255,255,31); border-radius: 16px;"
                       " padding: 14px 22px;"));

    QPushButton* copy = paneStyle::button(tr("Copy Code"), paneStyle::ButtonRole::Bordered, this);
    QPushButton* open =
        paneStyle::button(tr("Open Sign-In"), paneStyle::ButtonRole::Prominent, this);
    QPushButton* cancel = paneStyle::button(tr("Cancel"), paneStyle::ButtonRole::Bordered, this);
    connect(copy, &QPushButton::clicked, this, [this] {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(m_code.userCode);
    });
    connect(open, &QPushButton::clicked, this,
            [this] { QDesktopServices::openUrl(m_code.verificationUrl); });
    connect(cancel, &QPushButton::clicked, this, &DeviceSignInView::cancelRequested);

    QVBoxLayout* column = centredColumn(this, 16, 32);
    addCentred(column, paneStyle::label(tr("Sign in with ChatGPT"),
                                        paneStyle::font(Type::Title2, QFont::Bold),
                                        paneStyle::white(1), this));
    addCentred(column, paneStyle::paragraph(
                           tr("Open the sign-in page and enter this one-time code."),
                           paneStyle::font(Type::Callout), paneStyle::white(0.66), 360, this));
    addCentred(column, m_userCode);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    for (QPushButton* button : {copy, open, cancel}) {
        buttons->addWidget(button);
    }
    column->addLayout(buttons);
    column->setAlignment(buttons, Qt::AlignHCenter);
    auto* waiting = new QHBoxLayout;
    waiting->setSpacing(8);
    waiting->addWidget(new ActivityIndicator(14, paneStyle::white(0.7), this));
    waiting->addWidget(paneStyle::label(tr("Waiting for authorization…"),
                                        paneStyle::font(Type::Callout), paneStyle::white(0.7),
                                        this));
    column->addLayout(waiting);
    column->setAlignment(waiting, Qt::AlignHCenter);
}

void DeviceSignInView::setCode(const CodexDeviceCode& code) {
    m_code = code;
    m_userCode->setText(code.userCode);
    m_userCode->setAccessibleName(tr("One-time code %1").arg(code.userCode));
}

AgentUsagePane::AgentUsagePane(const Clock& clock, Geometry geometry, QWidget* parent)
    : QWidget(parent),
      m_geometry(geometry),
      m_stack(new QStackedLayout(this)),
      m_pair(new QWidget(this)),
      m_fiveHour(new LimitMeterView(clock, m_pair)),
      m_weekly(new LimitMeterView(clock, m_pair)),
      m_single(new LimitMeterView(clock, this)) {
    // A one-pixel margin keeps the outline, painted by this widget, clear of the cards.
    setContentsMargins(1, 1, 1, 1);
    auto* row = new QHBoxLayout(m_pair);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(1);
    row->addWidget(m_fiveHour, 1);
    row->addWidget(m_weekly, 1);
    LimitMeterOptions fiveHour;
    fiveHour.cornerRadius = 36;
    fiveHour.contentPadding = geometry.contentPadding;
    fiveHour.topInset = geometry.topInset;
    fiveHour.compact = true;
    fiveHour.drawsChrome = false;
    fiveHour.durationSeconds = UsageWindow::kFiveHourSeconds;
    LimitMeterOptions weekly = fiveHour;
    weekly.durationSeconds = UsageWindow::kWeeklySeconds;
    weekly.showsAgentName = false;
    m_fiveHour->setOptions(fiveHour);
    m_weekly->setOptions(weekly);
    LimitMeterOptions single;
    single.cornerRadius = geometry.cornerRadius;
    single.contentPadding = geometry.contentPadding;
    single.topInset = geometry.topInset;
    single.compact = false;
    single.drawsChrome = true;
    m_single->setOptions(single);
    m_stack->addWidget(m_pair);
    m_stack->addWidget(m_single);
}

void AgentUsagePane::setUsage(const AgentUsage& usage) {
    m_showsPair = usage.window(UsageWindow::kFiveHourSeconds).has_value() &&
                  usage.window(UsageWindow::kWeeklySeconds).has_value();
    for (LimitMeterView* card : {m_fiveHour, m_weekly, m_single}) {
        card->setUsage(usage);
    }
    m_stack->setCurrentWidget(m_showsPair ? m_pair : m_single);
}

void AgentUsagePane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor line = palette().color(QPalette::WindowText);
    line.setAlphaF(0.12f);
    if (m_showsPair) {
        // The separator shows through the one-pixel gap between the two cards.
        const QRect gap(m_fiveHour->geometry().right() + 1, 0, 1, height());
        painter.fillRect(gap, line);
    }
    painter.setPen(QPen(line, 1));
    painter.setBrush(Qt::NoBrush);
    const QRectF outline = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.drawRoundedRect(outline, m_geometry.cornerRadius, m_geometry.cornerRadius);
}

ErrorBanner::ErrorBanner(QWidget* parent)
    : QWidget(parent),
      m_text(paneStyle::label({}, paneStyle::font(Type::Caption), paneStyle::white(1), this)) {
    m_text->setWordWrap(true);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 8, 14, 8);
    row->setSpacing(6);
    row->addWidget(new SymbolView(QStringLiteral("exclamationmark.triangle.fill"), 12,
                                  paneStyle::white(1), this));
    row->addWidget(m_text, 1);
}

void ErrorBanner::setText(const QString& text) {
    m_text->setText(text);
    setAccessibleName(text);
}

QString ErrorBanner::text() const {
    return m_text->text();
}

void ErrorBanner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(paneStyle::black(0.62));
    painter.drawRoundedRect(QRectF(rect()), height() / 2.0, height() / 2.0);
}
