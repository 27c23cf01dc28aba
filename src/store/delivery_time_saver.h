#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>
#include <optional>

#include "core/cancellation_token.h"
#include "core/clock.h"
#include "core/job.h"
#include "core/preferences.h"

// Keeps in the preferences when a snapshot last reached the phone. The time changes with every
// frame a phone is sent, and each settings write rewrites the whole file with two syncs, so it is
// written at once the first time, then at most once a minute with the latest time, and once more
// when the saver goes away. Every write runs on a worker thread of Qt's global pool, which the
// application object waits for when the program ends; the file always ends with the last value
// asked for.
//
// Lives on the main thread; `clock` must outlive it.
class DeliveryTimeSaver final : public QObject {
    Q_OBJECT

public:
    static constexpr double kSaveSpacingSeconds = 60;

    DeliveryTimeSaver(Clock& clock, Preferences preferences, QString key);
    // Writes a time that is not written yet.
    ~DeliveryTimeSaver() override;
    Q_DISABLE_COPY_MOVE(DeliveryTimeSaver)

    void save(Timestamp at);
    // Removes the stored time; a time that waits to be written is dropped.
    void remove();

private:
    struct Writer;

    void write(std::optional<Timestamp> value);
    static QCoro::Task<> spacing(QPointer<DeliveryTimeSaver> saver, CancellationToken token);

    Clock& m_clock;
    std::shared_ptr<Writer> m_writer;
    // The latest time not written yet, while a minute since the last write runs.
    std::optional<Timestamp> m_unsaved;
    bool m_isSpacing = false;
    Job<DeliveryTimeSaver> m_spacingJob{this};
};
