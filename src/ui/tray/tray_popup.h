#pragma once

#include <QWidget>
#include <map>
#include <string>

class Clock;
class TrayAgentMeters;
class TrayPopupButton;
class SyncStatusIcon;
class QLabel;
class QPushButton;
class QVBoxLayout;
class PhoneLink;
class UsageStore;

// The popup's content: a header (title, phone status, refresh, settings, quit) and one
// TrayAgentMeters per usage of the store's snapshot, in snapshot order, or the empty state
// with its "Open Quotamind" button. It follows the store by itself; what its buttons do
// (refresh, open windows, quit) it asks for through its signals. It is a top-level widget: the
// controller chooses whether it opens as a popup or as a window and where.
//
// 2 × squareSize + squareSpacing wide plus a 14-point margin on every side; its height follows
// its content.
class TrayPopup final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMargin = 14;
    static constexpr int kRowSpacing = 12;

    // `store`, `phone` and `clock` must outlive the view.
    TrayPopup(UsageStore& store, const PhoneLink& phone, const Clock& clock, int squareSize,
              int squareSpacing, QWidget* parent = nullptr);
    ~TrayPopup() override;
    Q_DISABLE_COPY_MOVE(TrayPopup)

    TrayPopupButton* refreshButton() const { return m_refreshButton; }

Q_SIGNALS:
    // A user-requested refresh of the store (a full cycle that reports failures).
    void refreshRequested();
    void openMainWindowRequested();
    void settingsRequested();
    void quitRequested();
    // The popup was hidden, by the controller or by a click elsewhere.
    void closed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updateMeters();
    void updateRefreshing();
    void updatePhone();

    UsageStore& m_store;
    const PhoneLink& m_phone;
    const Clock& m_clock;
    int m_squareSize;
    int m_squareSpacing;
    SyncStatusIcon* m_syncStatus;
    TrayPopupButton* m_refreshButton;
    QVBoxLayout* m_metersColumn;
    QWidget* m_emptyState;
    std::map<std::string, TrayAgentMeters*> m_meters;
};
