#pragma once

#include <QCoro/QCoroTask>
#include <QPointer>
#include <QWidget>
#include <vector>

class Clock;
class QButtonGroup;
class QChartView;
class QLabel;
class QVBoxLayout;
class UsageHistory;

// The "History" window: one chart per agent and window of the used percent over the last 24
// hours, 7 days or 30 days, the resets marked, in the desktop's colour scheme. The charts are
// read afresh whenever the window shows or the range changes.
class HistoryWindow final : public QWidget {
    Q_OBJECT

public:
    enum class Range { Day, Week, Month };

    // `history` and `clock` must outlive the window.
    HistoryWindow(UsageHistory& history, const Clock& clock, QWidget* parent = nullptr);
    ~HistoryWindow() override;
    Q_DISABLE_COPY_MOVE(HistoryWindow)

    Range range() const { return m_range; }
    void setRange(Range range);
    const std::vector<QChartView*>& charts() const { return m_charts; }

Q_SIGNALS:
    // The charts show what the history held when they were read.
    void reloaded();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    static QCoro::Task<> reload(QPointer<HistoryWindow> window);
    void applyScheme();

    UsageHistory& m_history;
    const Clock& m_clock;
    Range m_range = Range::Week;
    QButtonGroup* m_ranges;
    QVBoxLayout* m_chartColumn;
    QLabel* m_empty;
    std::vector<QChartView*> m_charts;
    // Counts the reads, so only the latest one's rows are shown.
    int m_generation = 0;
};
