#include "history_window.h"

#include <QButtonGroup>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPointer>
#include <QPushButton>
#include <QScatterSeries>
#include <QScrollArea>
#include <QValueAxis>

#include "core/clock.h"
#include "history/usage_history.h"
#include "model/usage_window.h"
#include "ui/common/color_scheme.h"
#include "ui/common/pane_style.h"
#include "ui/history/history_chart_data.h"

namespace {

constexpr int kChartHeight = 280;

double rangeSeconds(HistoryWindow::Range range) {
    switch (range) {
        case HistoryWindow::Range::Day:
            return 86400;
        case HistoryWindow::Range::Week:
            return 7 * 86400;
        case HistoryWindow::Range::Month:
            break;
    }
    return 30 * 86400;
}

}  // namespace

HistoryWindow::HistoryWindow(UsageHistory& history, const Clock& clock, QWidget* parent)
    : QWidget(parent),
      m_history(history),
      m_clock(clock),
      m_ranges(new QButtonGroup(this)),
      m_chartColumn(new QVBoxLayout()),
      m_empty(new QLabel(
          tr("No history yet. Quotamind keeps every reading of the limits from now on."), this)) {
    setWindowTitle(tr("History"));
    resize(720, 560);
    auto* column = new QVBoxLayout(this);
    auto* rangeRow = new QHBoxLayout();
    const std::pair<Range, QString> ranges[] = {
        {Range::Day, tr("24 Hours")}, {Range::Week, tr("7 Days")}, {Range::Month, tr("30 Days")}};
    for (const auto& [range, label] : ranges) {
        auto* button = new QPushButton(label, this);
        button->setCheckable(true);
        button->setChecked(range == m_range);
        m_ranges->addButton(button, static_cast<int>(range));
        rangeRow->addWidget(button);
    }
    rangeRow->addStretch(1);
    column->addLayout(rangeRow);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* charts = new QWidget(scroll);
    charts->setLayout(m_chartColumn);
    m_chartColumn->addWidget(m_empty);
    m_chartColumn->addStretch(1);
    scroll->setWidget(charts);
    column->addWidget(scroll, 1);
    m_empty->setWordWrap(true);
    m_empty->setForegroundRole(QPalette::PlaceholderText);

    connect(m_ranges, &QButtonGroup::idClicked, this,
            [this](int id) { setRange(static_cast<Range>(id)); });
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::setRange(Range range) {
    m_range = range;
    m_ranges->button(static_cast<int>(range))->setChecked(true);
    QCoro::Task<> reading = reload(this);
}

void HistoryWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    QCoro::Task<> reading = reload(this);
}

void HistoryWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyScheme();
    }
}

QCoro::Task<> HistoryWindow::reload(QPointer<HistoryWindow> window) {
    const int generation = ++window->m_generation;
    const Timestamp now = window->m_clock.now();
    const double seconds = rangeSeconds(window->m_range);
    QCoro::Task<std::vector<HistoryRow>> reading = window->m_history.rows(now - seconds);
    const std::vector<HistoryRow> rows = co_await reading;
    if (!window || generation != window->m_generation) {
        co_return;
    }
    for (QChartView* chart : window->m_charts) {
        delete chart;
    }
    window->m_charts.clear();
    // Whole sentences for each range, so a translation can put the range where its language wants.
    const char* const over =
        window->m_range == Range::Day    ? QT_TR_NOOP("%1: used percent over the last 24 hours")
        : window->m_range == Range::Week ? QT_TR_NOOP("%1: used percent over the last 7 days")
                                         : QT_TR_NOOP("%1: used percent over the last 30 days");
    int index = 0;
    for (const auto& [key, data] : HistoryChartData::fromRows(rows)) {
        const QString title =
            tr("%1 %2 limit")
                .arg(paneStyle::displayName({key.first}), UsageWindow::periodLabel(key.second));
        auto* chart = new QChart();
        chart->setTitle(title);
        chart->legend()->setAlignment(Qt::AlignBottom);
        auto* used = new QLineSeries(chart);
        used->setName(tr("Used percent"));
        for (const QPointF& point : data.used) {
            used->append(point);
        }
        auto* resets = new QScatterSeries(chart);
        resets->setName(tr("Resets"));
        resets->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
        resets->setMarkerSize(8);
        for (const double x : data.resets) {
            resets->append(x, 0);
        }
        chart->addSeries(used);
        chart->addSeries(resets);
        auto* time = new QDateTimeAxis(chart);
        //: The date under the 7- and 30-day charts (QDateTime format): the month's short name and
        //: the day.
        time->setFormat(window->m_range == Range::Day ? QStringLiteral("HH:mm") : tr("MMM d"));
        time->setRange((now - seconds).toDateTime(), now.toDateTime());
        auto* percent = new QValueAxis(chart);
        percent->setRange(0, 100);
        percent->setLabelFormat(QStringLiteral("%d%%"));
        chart->addAxis(time, Qt::AlignBottom);
        chart->addAxis(percent, Qt::AlignLeft);
        for (QAbstractSeries* series :
             {static_cast<QAbstractSeries*>(used), static_cast<QAbstractSeries*>(resets)}) {
            series->attachAxis(time);
            series->attachAxis(percent);
        }
        auto* view = new QChartView(chart, window);
        view->setRenderHint(QPainter::Antialiasing);
        view->setMinimumHeight(kChartHeight);
        view->setAccessibleName(tr(over).arg(title));
        view->setAccessibleDescription(
            tr("%n reading(s), %1", nullptr, static_cast<int>(data.used.size()))
                .arg(tr("%n reset(s)", nullptr, static_cast<int>(data.resets.size()))));
        window->m_chartColumn->insertWidget(index++, view);
        window->m_charts.push_back(view);
    }
    window->m_empty->setVisible(window->m_charts.empty());
    window->applyScheme();
    Q_EMIT window->reloaded();
}

void HistoryWindow::applyScheme() {
    const bool dark = colorSchemeOf(palette()) == ColorScheme::Dark;
    for (QChartView* view : m_charts) {
        QChart* chart = view->chart();
        chart->setTheme(dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
        chart->setBackgroundBrush(palette().window());
        view->setBackgroundBrush(palette().window());
    }
}
