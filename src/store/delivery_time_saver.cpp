#include "delivery_time_saver.h"

#include <QThreadPool>
#include <mutex>

// Whichever worker comes first writes the latest value asked for; one that finds nothing newer
// does nothing, so writes never land out of order.
struct DeliveryTimeSaver::Writer {
    Writer(Preferences preferences, QString key)
        : preferences(std::move(preferences)), key(std::move(key)) {}

    Preferences preferences;
    QString key;
    std::mutex writing;
    std::mutex mutex;
    // An empty inner value removes the key.
    std::optional<std::optional<Timestamp>> next;

    void writeNext() {
        const std::lock_guard writingLock(writing);
        std::optional<std::optional<Timestamp>> value;
        {
            const std::lock_guard lock(mutex);
            value.swap(next);
        }
        if (!value) {
            return;
        }
        if (*value) {
            preferences.setDate(key, **value);
        } else {
            preferences.remove(key);
        }
    }
};

DeliveryTimeSaver::DeliveryTimeSaver(Clock& clock, Preferences preferences, QString key)
    : m_clock(clock), m_writer(std::make_shared<Writer>(std::move(preferences), std::move(key))) {}

DeliveryTimeSaver::~DeliveryTimeSaver() {
    if (m_unsaved) {
        write(m_unsaved);
    }
}

void DeliveryTimeSaver::save(Timestamp at) {
    if (m_isSpacing) {
        m_unsaved = at;
        return;
    }
    write(at);
    m_isSpacing = true;
    m_spacingJob.start(&DeliveryTimeSaver::spacing);
}

void DeliveryTimeSaver::remove() {
    m_spacingJob.cancel();
    m_isSpacing = false;
    m_unsaved.reset();
    write(std::nullopt);
}

void DeliveryTimeSaver::write(std::optional<Timestamp> value) {
    {
        const std::lock_guard lock(m_writer->mutex);
        m_writer->next = value;
    }
    QThreadPool::globalInstance()->start([writer = m_writer] { writer->writeNext(); });
}

QCoro::Task<> DeliveryTimeSaver::spacing(QPointer<DeliveryTimeSaver> saver,
                                         CancellationToken token) {
    Clock& clock = saver->m_clock;
    for (;;) {
        QCoro::Task<> wait = clock.sleep(kSaveSpacingSeconds, token);
        co_await wait;
        if (!saver || token.isCancelled()) {
            co_return;
        }
        if (!saver->m_unsaved) {
            saver->m_isSpacing = false;
            co_return;
        }
        saver->write(std::exchange(saver->m_unsaved, std::nullopt));
    }
}
