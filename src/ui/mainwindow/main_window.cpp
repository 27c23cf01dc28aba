#include "main_window.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QMouseEvent>
#include <QShortcut>
#include <QWindow>

#include "ui/mainwindow/limit_pane.h"
#include "ui/mainwindow/pairing_views.h"

RootView::RootView(UsageStore& store, PhoneLink& phone, CodexSignIn& signIn, const Clock& clock,
                   QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_limitPane(new LimitPane(store, signIn, clock, this)) {
    setWindowTitle(QStringLiteral("Quotamind"));
    setMinimumSize(kMinimumSize);
    resize(kDefaultSize);
    auto* panes = new QHBoxLayout(this);
    panes->setContentsMargins(0, 0, 0, 0);
    panes->setSpacing(0);
    panes->addWidget(m_limitPane, 1);
    panes->addWidget(new PairingPane(phone, this), 1);

    connect(m_limitPane, &LimitPane::settingsRequested, this, &RootView::settingsRequested);
    connect(m_limitPane, &LimitPane::historyRequested, this, &RootView::historyRequested);
    const auto shortcut = [this](const QKeySequence& keys, auto action) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, action);
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_R), [this] { m_limitPane->refresh(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma), [this] { Q_EMIT settingsRequested(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_W), [this] { close(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { Q_EMIT quitRequested(); });
}

void RootView::mousePressEvent(QMouseEvent* event) {
    // Presses that no control took arrive here: the background moves the window.
    if (event->button() == Qt::LeftButton && windowHandle() != nullptr &&
        windowHandle()->startSystemMove()) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

MainWindowController::MainWindowController(UsageStore& store, PhoneLink& phone, CodexSignIn& signIn,
                                           const Clock& clock, QObject* parent)
    : QObject(parent), m_store(store), m_phone(phone), m_signIn(signIn), m_clock(clock) {
    // The tray keeps the program running when its last window closes.
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

MainWindowController::~MainWindowController() {
    if (m_window) {
        disconnect(m_window, nullptr, this, nullptr);
        delete m_window;
    }
}

void MainWindowController::showMainWindow() {
    if (!m_window) {
        m_window = new RootView(m_store, m_phone, m_signIn, m_clock);
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_window, &RootView::settingsRequested, this,
                &MainWindowController::settingsRequested);
        connect(m_window, &RootView::historyRequested, this,
                &MainWindowController::historyRequested);
        connect(m_window, &RootView::quitRequested, qApp, &QCoreApplication::quit,
                Qt::QueuedConnection);
        connect(m_window, &QObject::destroyed, this, &MainWindowController::windowClosed);
    }
    m_window->show();
    m_window->setWindowState((m_window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    m_window->raise();
    m_window->activateWindow();
}
