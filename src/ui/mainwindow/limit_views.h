#pragma once

#include <QAbstractButton>
#include <QWidget>
#include <optional>

#include "model/agent_provider.h"
#include "model/agent_usage.h"
#include "sources/codex/codex_device_code.h"

class ActivityIndicator;
class Clock;
class LimitMeterView;
class QLabel;
class QPushButton;
class QStackedLayout;
class SymbolView;

// The views the limit pane shows below its top bar. They hold no state of the store; the pane
// feeds them and turns their signals into store calls.

// A 30 x 30 circular button of the top bar with one symbol; while busy it shows an activity
// indicator instead and takes no clicks.
class HeaderIconButton final : public QAbstractButton {
    Q_OBJECT

public:
    HeaderIconButton(QString symbol, const QString& accessibleName, const QString& toolTip,
                     QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(HeaderIconButton)

    void setBusy(bool busy);
    bool isBusy() const { return m_busy; }
    QSize sizeHint() const override { return {30, 30}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbol;
    bool m_busy = false;
    ActivityIndicator* m_indicator;
};

// The waiting view: a spinner (or the "terminal" symbol), a title and a short message.
class EmptyLimitView final : public QWidget {
    Q_OBJECT

public:
    explicit EmptyLimitView(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(EmptyLimitView)

    void setContent(const QString& title, const QString& message, bool showsProgress);

private:
    ActivityIndicator* m_progress;
    SymbolView* m_symbol;
    QLabel* m_title;
    QLabel* m_message;
};

// What a provider without usage shows once nothing is loading any more: how to connect it, a
// "Check Again" button, "Sign in with ChatGPT" for Codex, and the provider's last error.
class SignedOutLimitView final : public QWidget {
    Q_OBJECT

public:
    explicit SignedOutLimitView(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(SignedOutLimitView)

    void setContent(const AgentProvider& provider, const std::optional<QString>& error);

Q_SIGNALS:
    void checkAgainRequested();
    void signInRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SymbolView* m_symbol;
    QLabel* m_title;
    QLabel* m_explanation;
    QPushButton* m_signIn;
    QLabel* m_error;
};

// The one-time code of a pending ChatGPT sign-in, with buttons to copy it, open the sign-in page
// in the default browser (QDesktopServices) and cancel.
class DeviceSignInView final : public QWidget {
    Q_OBJECT

public:
    explicit DeviceSignInView(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(DeviceSignInView)

    void setCode(const CodexDeviceCode& code);

Q_SIGNALS:
    void cancelRequested();

private:
    CodexDeviceCode m_code;
    QLabel* m_userCode;
};

// One agent's limit cards: the 5-hour and weekly cards side by side when the usage has both
// windows, otherwise one full card for its preferred window.
class AgentUsagePane final : public QWidget {
    Q_OBJECT

public:
    struct Geometry {
        double cornerRadius = 0;
        double contentPadding = 22;
        double topInset = 16;
    };

    // `clock` must outlive the pane.
    AgentUsagePane(const Clock& clock, Geometry geometry, QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(AgentUsagePane)

    void setUsage(const AgentUsage& usage);
    bool showsPair() const { return m_showsPair; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Geometry m_geometry;
    bool m_showsPair = false;
    QStackedLayout* m_stack;
    QWidget* m_pair;
    LimitMeterView* m_fiveHour;
    LimitMeterView* m_weekly;
    LimitMeterView* m_single;
};

// The error line laid over a provider's cards: a warning symbol and the text on a dark capsule.
class ErrorBanner final : public QWidget {
    Q_OBJECT

public:
    explicit ErrorBanner(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(ErrorBanner)

    void setText(const QString& text);
    QString text() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_text;
};
