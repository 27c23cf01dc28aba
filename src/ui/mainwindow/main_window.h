#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class Clock;
class LimitPane;
class CodexSignIn;
class PhoneLink;
class UsageStore;

// The main window: the limit pane and the pairing pane side by side, equal in width. A normal
// decorated window without a maximise button; dragging its background moves it. Keys: Ctrl+R
// refreshes, Ctrl+, asks for the settings, Ctrl+W closes the window, Ctrl+Q quits the program.
class RootView final : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize kMinimumSize{860, 560};
    static constexpr QSize kDefaultSize{1020, 680};

    // `store`, `phone`, `signIn` and `clock` must outlive the window.
    RootView(UsageStore& store, PhoneLink& phone, CodexSignIn& signIn, const Clock& clock,
             QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(RootView)

    LimitPane* limitPane() const { return m_limitPane; }

Q_SIGNALS:
    void settingsRequested();
    void historyRequested();
    void quitRequested();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    LimitPane* m_limitPane;
};

// Brings the main window up: creates it on first use and again after it was closed (closing
// deletes it, and the program stays in the tray), otherwise shows, raises and activates the one
// that exists. Everything that opens the window connects to showMainWindow(): the tray's "Open
// Quotamind", a notification's default action and a second launch of the program.
class MainWindowController final : public QObject {
    Q_OBJECT

public:
    // `store`, `phone`, `signIn` and `clock` must outlive the controller.
    MainWindowController(UsageStore& store, PhoneLink& phone, CodexSignIn& signIn,
                         const Clock& clock, QObject* parent = nullptr);
    ~MainWindowController() override;
    Q_DISABLE_COPY_MOVE(MainWindowController)

    // The window while it exists.
    RootView* window() const { return m_window; }

public Q_SLOTS:
    void showMainWindow();

Q_SIGNALS:
    // The settings button or Ctrl+, of the window.
    void settingsRequested();
    void historyRequested();
    // The user closed the window (not emitted when the controller itself goes).
    void windowClosed();

private:
    UsageStore& m_store;
    PhoneLink& m_phone;
    CodexSignIn& m_signIn;
    const Clock& m_clock;
    QPointer<RootView> m_window;
};
