#include "avahi_connection.h"

#include <avahi-common/error.h>

#include <QCoreApplication>

AvahiConnection::AvahiConnection(Handler onEvent) : m_onEvent(std::move(onEvent)) {
    m_poll = avahi_threaded_poll_new();
    if (m_poll == nullptr) {
        report(nullptr, Event::failed, errorText(AVAHI_ERR_NO_MEMORY));
        return;
    }
    // Made before the poll thread runs, so no lock is needed yet.
    makeClient();
    avahi_threaded_poll_start(m_poll);
}

AvahiConnection::~AvahiConnection() {
    if (m_poll == nullptr) {
        return;
    }
    // Joins the poll thread, after which no callback can run.
    avahi_threaded_poll_stop(m_poll);
    if (m_client != nullptr) {
        avahi_client_free(m_client);
    }
    avahi_threaded_poll_free(m_poll);
}

void AvahiConnection::withLock(const std::function<void(AvahiClient*)>& action) {
    if (m_poll == nullptr) {
        action(nullptr);
        return;
    }
    avahi_threaded_poll_lock(m_poll);
    action(m_client);
    avahi_threaded_poll_unlock(m_poll);
}

QString AvahiConnection::errorText(int error) {
    return QString::fromUtf8(avahi_strerror(error));
}

void AvahiConnection::makeClient() {
    int error = 0;
    // The callback already runs inside avahi_client_new, before m_client is set.
    AvahiClient* client = avahi_client_new(avahi_threaded_poll_get(m_poll), AVAHI_CLIENT_NO_FAIL,
                                           &clientCallback, this, &error);
    if (client == nullptr) {
        report(nullptr, Event::failed, errorText(error));
        return;
    }
    m_client = client;
}

void AvahiConnection::report(AvahiClient* client, Event event, const QString& failure) {
    m_onEvent(client, event, failure);
}

namespace {

QString daemonNotRunning() {
    return QCoreApplication::translate("AvahiConnection",
                                       "The Avahi daemon (avahi-daemon) is not running.");
}

}  // namespace

void AvahiConnection::clientCallback(AvahiClient* client, AvahiClientState state, void* self) {
    auto* connection = static_cast<AvahiConnection*>(self);
    switch (state) {
        case AVAHI_CLIENT_S_RUNNING:
            connection->report(client, Event::ready);
            return;
        case AVAHI_CLIENT_S_REGISTERING:
        case AVAHI_CLIENT_S_COLLISION:
            connection->report(client, Event::hostChanging);
            return;
        case AVAHI_CLIENT_CONNECTING:
            connection->report(client, Event::waiting, daemonNotRunning());
            return;
        case AVAHI_CLIENT_FAILURE:
            break;
    }
    const int error = avahi_client_errno(client);
    if (error == AVAHI_ERR_DISCONNECTED) {
        // The daemon went away: start over with a client that waits for it to come back.
        connection->report(client, Event::waiting, daemonNotRunning());
        avahi_client_free(client);
        connection->m_client = nullptr;
        connection->makeClient();
        return;
    }
    connection->report(client, Event::failed, errorText(error));
}
