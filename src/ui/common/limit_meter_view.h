#pragma once

#include <QColor>
#include <QWidget>
#include <cstdint>
#include <optional>

#include "model/agent_usage.h"
#include "ui/common/color_scheme.h"

class Clock;
class QTimer;
class QVariantAnimation;

// The card's colours in one scheme. The base is the same dark colour in both; the main window's
// top bar uses it too.
struct LimitMeterColors {
    QColor base;
    QColor fill;
    QColor textOverBase;
    QColor textOverFill;

    static LimitMeterColors of(ColorScheme scheme);
};

// How a card is drawn. The callers' configurations: the popup's 160 x 160 pair (5-hour with
// the agent name, weekly with the plan name) or one 330 x 160 card; the main window's cards
// without chrome (radius 36, padding 22, top inset 16).
struct LimitMeterOptions {
    double cornerRadius = 22;
    double contentPadding = 14;
    double topInset = 0;
    // The window to show; none means the usage's preferred (longest) window.
    std::optional<std::int64_t> durationSeconds;
    // Smaller type and tighter spacing.
    bool compact = true;
    // Clip to the rounded shape and draw the outline; without it the card is square and the
    // caller frames it.
    bool drawsChrome = true;
    bool showsAgentName = true;
    bool showsPlanName = true;

    bool operator==(const LimitMeterOptions&) const = default;
};

// The card that shows one limit window of one agent: a dark base that fills from the bottom with
// the remaining percent, and the text layer drawn over both. Its size comes from the caller
// (setFixedSize or a layout). The whole card is one accessible element; the reset line is
// computed against `clock` whenever the card paints, so it needs no timer of its own.
class LimitMeterView final : public QWidget {
    Q_OBJECT

public:
    // `clock` must outlive the view.
    explicit LimitMeterView(const Clock& clock, QWidget* parent = nullptr);
    ~LimitMeterView() override;
    Q_DISABLE_COPY_MOVE(LimitMeterView)

    const AgentUsage& usage() const { return m_usage; }
    // A new remaining percent moves the fill with a spring-like animation from the value shown
    // while the card is visible; a hidden card takes the new value at once. Keep one view per
    // card and give it each new usage, so the fill has a value to move from.
    void setUsage(const AgentUsage& usage);
    const LimitMeterOptions& options() const { return m_options; }
    void setOptions(const LimitMeterOptions& options);

    // The window shown, if the usage has it.
    std::optional<UsageWindow> shownWindow() const;
    // Its remaining percent as current now: nothing without the window or past its reset. The
    // card recomputes it when it gets a usage (views give it the usage again when the store says
    // a reset time has come).
    std::optional<std::int64_t> shownRemainingPercent() const;
    // The fraction of the height the fill covers now, moving while the fill animates.
    double displayedFraction() const { return m_displayedFraction; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updateContent();
    void updateSpinner(bool visible);
    void updateAccessibleName();

    const Clock& m_clock;
    AgentUsage m_usage;
    LimitMeterOptions m_options;
    double m_displayedFraction = 0.0;
    QVariantAnimation* m_fillAnimation;
    QTimer* m_spinnerTimer;
    int m_spinnerPhase = 0;
};
