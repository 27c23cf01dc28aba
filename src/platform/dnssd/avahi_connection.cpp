#include "avahi_connection.h"

#include <avahi-common/error.h>
#include <avahi-common/timeval.h>

#include <QCoreApplication>
#include <condition_variable>
#include <thread>

namespace {

QString daemonNotRunning() {
    return QCoreApplication::translate("AvahiConnection",
                                       "The Avahi daemon (avahi-daemon) is not running.");
}

// Connections destroyed whose client is not let go of yet.
struct Releases {
    std::mutex mutex;
    std::condition_variable done;
    int pending = 0;

    static Releases& instance() {
        // Never destroyed: a release may still run while the program exits.
        static auto* releases = new Releases;
        return *releases;
    }
};

}  // namespace

// The poll thread and the client; moved to a thread of its own when the connection goes.
struct AvahiConnection::Client {
    Handler onEvent;
    AvahiThreadedPoll* poll = nullptr;
    AvahiClient* client = nullptr;

    ~Client() {
        if (poll == nullptr) {
            return;
        }
        // Joins the poll thread, which may be inside a call to the daemon; after that no callback
        // can run. Freeing the client closes its bus first, so that makes no further call.
        avahi_threaded_poll_stop(poll);
        if (client != nullptr) {
            avahi_client_free(client);
        }
        avahi_threaded_poll_free(poll);
    }

    void report(AvahiClient* current, Event event, const QString& failure = {}) {
        onEvent(current, event, failure);
    }

    void makeClient() {
        int error = 0;
        // The callback already runs inside avahi_client_new, before `client` is set.
        AvahiClient* made = avahi_client_new(avahi_threaded_poll_get(poll), AVAHI_CLIENT_NO_FAIL,
                                             &clientCallback, this, &error);
        if (made == nullptr) {
            report(nullptr, Event::Failed, errorText(error));
            return;
        }
        client = made;
    }

    static void makeOnPollThread(AvahiTimeout*, void* self) {
        static_cast<Client*>(self)->makeClient();
    }

    static void clientCallback(AvahiClient* current, AvahiClientState state, void* self) {
        auto* connection = static_cast<Client*>(self);
        switch (state) {
            case AVAHI_CLIENT_S_RUNNING:
                connection->report(current, Event::Ready);
                return;
            case AVAHI_CLIENT_S_REGISTERING:
            case AVAHI_CLIENT_S_COLLISION:
                connection->report(current, Event::HostChanging);
                return;
            case AVAHI_CLIENT_CONNECTING:
                connection->report(current, Event::Waiting, daemonNotRunning());
                return;
            case AVAHI_CLIENT_FAILURE:
                break;
        }
        const int error = avahi_client_errno(current);
        if (error == AVAHI_ERR_DISCONNECTED) {
            // The daemon went away: start over with a client that waits for it to come back.
            connection->report(current, Event::Waiting, daemonNotRunning());
            avahi_client_free(current);
            connection->client = nullptr;
            connection->makeClient();
            return;
        }
        connection->report(current, Event::Failed, errorText(error));
    }
};

AvahiConnection::AvahiConnection(Handler onEvent) : m_client(std::make_unique<Client>()) {
    m_client->onEvent = std::move(onEvent);
    m_client->poll = avahi_threaded_poll_new();
    if (m_client->poll == nullptr) {
        m_client->report(nullptr, Event::Failed, errorText(AVAHI_ERR_NO_MEMORY));
        return;
    }
    // Made on the poll thread as soon as it runs: making it asks the daemon.
    const AvahiPoll* api = avahi_threaded_poll_get(m_client->poll);
    timeval now{};
    avahi_elapse_time(&now, 0, 0);
    api->timeout_new(api, &now, &Client::makeOnPollThread, m_client.get());
    avahi_threaded_poll_start(m_client->poll);
}

AvahiConnection::~AvahiConnection() {
    Releases& releases = Releases::instance();
    {
        const std::lock_guard lock(releases.mutex);
        ++releases.pending;
    }
    std::thread([client = std::move(m_client), &releases]() mutable {
        client.reset();
        const std::lock_guard lock(releases.mutex);
        --releases.pending;
        releases.done.notify_all();
    }).detach();
}

bool AvahiConnection::waitForReleases(QDeadlineTimer deadline) {
    Releases& releases = Releases::instance();
    std::unique_lock lock(releases.mutex);
    const auto allReleased = [&releases] { return releases.pending == 0; };
    if (deadline.isForever()) {
        releases.done.wait(lock, allReleased);
        return true;
    }
    return releases.done.wait_for(lock, deadline.remainingTimeAsDuration(), allReleased);
}

QString AvahiConnection::errorText(int error) {
    return QString::fromUtf8(avahi_strerror(error));
}

void AvahiOutbox::post(std::function<void()> job) {
    const std::lock_guard lock(m_mutex);
    if (m_owner != nullptr) {
        QMetaObject::invokeMethod(m_owner, std::move(job), Qt::QueuedConnection);
    }
}

void AvahiOutbox::release() {
    const std::lock_guard lock(m_mutex);
    m_owner = nullptr;
}
