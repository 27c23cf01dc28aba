#pragma once

#include <avahi-client/client.h>
#include <avahi-common/thread-watch.h>

#include <QString>
#include <functional>

// A client of the Avahi daemon on a poll thread of its own, shared by the DNS-SD publisher and
// resolver. The client is made with AVAHI_CLIENT_NO_FAIL, so it waits for a daemon that is not
// running yet, and it is made afresh when the daemon goes away, so it comes back after a daemon
// restart.
//
// `onEvent` runs on the poll thread with the poll lock held, also once inside the constructor.
// Everything an owner made with the client (entry groups, resolvers) is freed with it: on `lost`
// the owner forgets those objects without freeing them. Other threads use the client only inside
// withLock().
class AvahiConnection final {
public:
    enum class Event {
        ready,         // the daemon runs: make or commit the objects now
        hostChanging,  // the daemon renames this host: withdraw published records until `ready`
        waiting,       // no daemon: everything made with the client is gone
        failed,        // unrecoverable: everything made with the client is gone
    };
    // `failure` says why for `waiting` and `failed`.
    using Handler = std::function<void(AvahiClient* client, Event event, const QString& failure)>;

    explicit AvahiConnection(Handler onEvent);
    ~AvahiConnection();
    AvahiConnection(const AvahiConnection&) = delete;
    AvahiConnection& operator=(const AvahiConnection&) = delete;

    void withLock(const std::function<void(AvahiClient* client)>& action);

    // The text of an Avahi error number.
    static QString errorText(int error);

private:
    static void clientCallback(AvahiClient* client, AvahiClientState state, void* self);
    void makeClient();
    void report(AvahiClient* client, Event event, const QString& failure = {});

    Handler m_onEvent;
    AvahiThreadedPoll* m_poll = nullptr;
    AvahiClient* m_client = nullptr;
};
