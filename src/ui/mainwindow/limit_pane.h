#pragma once

#include <QWidget>

#include "model/agent_provider.h"

class AgentUsagePane;
class Clock;
class DeviceSignInView;
class ErrorBanner;
class EmptyLimitView;
class HeaderIconButton;
class ProviderSwitcher;
class SignedOutLimitView;
class QStackedLayout;
class CodexSignIn;
class UsageStore;

// The top bar's two round buttons: refresh (an activity indicator and no clicks while the store
// refreshes) and settings.
class LimitControls final : public QWidget {
    Q_OBJECT

public:
    LimitControls(UsageStore& store, QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(LimitControls)

    // The user-requested refresh, as the button and Ctrl+R start it; nothing while one runs.
    void refresh();

Q_SIGNALS:
    void settingsRequested();
    void historyRequested();

private:
    UsageStore& m_store;
    HeaderIconButton* m_refresh;
};

// What the limit pane shows for one provider, by the first rule that applies: the one-time code
// of a pending ChatGPT sign-in (Codex only), the provider's cards, the loading view before the
// store's first cycle has ended and while a refresh the user asked for runs, else the
// signed-out view (which background cycles leave in place).
class ProviderLimitPane final : public QWidget {
    Q_OBJECT

public:
    enum class Content { DeviceSignIn, Usage, SignedOut, Loading };

    ProviderLimitPane(UsageStore& store, CodexSignIn& signIn, const Clock& clock,
                      QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(ProviderLimitPane)

    static Content contentFor(const AgentProvider& provider, const UsageStore& store,
                              const CodexSignIn& signIn);

    // Shows `provider` as the store stands now.
    void show(const AgentProvider& provider);

private:
    UsageStore& m_store;
    CodexSignIn& m_accountSignIn;
    QStackedLayout* m_stack;
    DeviceSignInView* m_signIn;
    AgentUsagePane* m_usage;
    SignedOutLimitView* m_signedOut;
    EmptyLimitView* m_loading;
};

// The left half of the main window: a dark top bar with the agent switcher and the controls,
// the selected provider's content below it, and the provider's error laid over its cards. Follows
// every change of the store. The selection starts at Codex each time the pane is created.
class LimitPane final : public QWidget {
    Q_OBJECT

public:
    // `store`, `signIn` and `clock` must outlive the pane.
    LimitPane(UsageStore& store, CodexSignIn& signIn, const Clock& clock,
              QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(LimitPane)

    const AgentProvider& selectedProvider() const { return m_selectedProvider; }
    void refresh();

Q_SIGNALS:
    void settingsRequested();
    void historyRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateContent();
    void placeBanner();

    UsageStore& m_store;
    AgentProvider m_selectedProvider = AgentProvider::codex();
    ProviderSwitcher* m_switcher;
    LimitControls* m_controls;
    ProviderLimitPane* m_content;
    ErrorBanner* m_banner;
};
