#pragma once

#include <QWidget>
#include <map>
#include <string>

class Clock;
class MenuBarAgentMeters;
class MenuBarIconButton;
class MenuBarSyncStatusIcon;
class QLabel;
class QPushButton;
class QVBoxLayout;
class UsageStore;

// The popover's content: a header (title, phone status, refresh, settings, quit) and one
// MenuBarAgentMeters per usage of the store's snapshot, in snapshot order, or the empty state
// with its "Open Quotamind" button. It follows the store by itself; what its buttons do
// (refresh, open windows, quit) it asks for through its signals. It is a top-level widget: the
// controller chooses whether it opens as a popup or as a window and where.
//
// 2 × squareSize + squareSpacing wide plus a 14-point margin on every side; its height follows
// its content.
class MenuBarPopoverView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMargin = 14;
    static constexpr int kRowSpacing = 12;

    // `store` and `clock` must outlive the view.
    MenuBarPopoverView(UsageStore& store, const Clock& clock, int squareSize, int squareSpacing,
                       QWidget* parent = nullptr);
    ~MenuBarPopoverView() override;
    Q_DISABLE_COPY_MOVE(MenuBarPopoverView)

    MenuBarIconButton* refreshButton() const { return m_refreshButton; }

Q_SIGNALS:
    // A user-requested refresh of the store (a full cycle that reports failures).
    void refreshRequested();
    void openMainWindowRequested();
    void settingsRequested();
    void quitRequested();
    // The popover was hidden, by the controller or by a click elsewhere.
    void closed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updateMeters();
    void updateRefreshing();
    void updatePhone();

    UsageStore& m_store;
    const Clock& m_clock;
    int m_squareSize;
    int m_squareSpacing;
    MenuBarSyncStatusIcon* m_syncStatus;
    MenuBarIconButton* m_refreshButton;
    QVBoxLayout* m_metersColumn;
    QWidget* m_emptyState;
    std::map<std::string, MenuBarAgentMeters*> m_meters;
};
