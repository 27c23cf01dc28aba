#pragma once

#include <QAbstractNativeEventFilter>
#include <QColor>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <optional>

// Whether a tray can show the program's icon, found without Qt's own check (which remembers its
// first answer about StatusNotifierItem for the life of the process, so a panel that starts after
// the program would never get the icon):
// - a StatusNotifierItem host: org.kde.StatusNotifierWatcher on the session bus answers
//   IsStatusNotifierHostRegistered with true; a watcher that arrives later and its
//   StatusNotifierHostRegistered signal are followed;
// - on X11, an XEmbed tray: the owner of the _NET_SYSTEM_TRAY_S<screen> selection; a tray that
//   starts later announces itself with a MANAGER message on the root window.
// The first tray found emits trayAppeared() once; the icon is created then, when Qt's own check
// finds it too. The bus calls are asynchronous, bounded by kCallTimeoutMilliseconds, and never
// start a service.
//
// It also reads the colour an XEmbed tray asks its icons to draw in (_NET_SYSTEM_TRAY_COLORS),
// and follows changes of it. Lives on the main thread.
class TrayAvailability final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    static inline const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
    static constexpr int kCallTimeoutMilliseconds = 5000;

    explicit TrayAvailability(QDBusConnection bus, QObject* parent = nullptr);
    ~TrayAvailability() override;
    Q_DISABLE_COPY_MOVE(TrayAvailability)

    // Starts looking. Call once, on a QGuiApplication.
    void start();

    bool isAvailable() const { return m_available; }
    // The XEmbed tray's foreground colour, while no StatusNotifierItem host shows the icon
    // instead and the tray says one.
    std::optional<QColor> trayForeground() const;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

Q_SIGNALS:
    void trayAppeared();
    void trayForegroundChanged();

private Q_SLOTS:
    void hostRegistered();

private:
    void askWatcher();
    void found();
    void startXEmbed();
    // Reads the tray selection's owner, its colours, and asks to hear when they change.
    void followXEmbedTray(quint32 owner);
    void readTrayColors();

    QDBusConnection m_bus;
    QDBusServiceWatcher m_watcherService;
    bool m_available = false;
    bool m_hasStatusNotifierHost = false;
    // X11 only; zero elsewhere.
    quint32 m_trayAtom = 0;
    quint32 m_managerAtom = 0;
    quint32 m_colorsAtom = 0;
    quint32 m_trayOwner = 0;
    std::optional<QColor> m_trayForeground;
};
