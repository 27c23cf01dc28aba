#pragma once

#include <avahi-client/client.h>
#include <avahi-common/thread-watch.h>

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>

// A client of the Avahi daemon on a poll thread of its own, shared by the DNS-SD publisher and
// resolver. The client is made with AVAHI_CLIENT_NO_FAIL, so it waits for a daemon that is not
// running yet, and it is made afresh when the daemon goes away, so it comes back after a daemon
// restart.
//
// Every call to the daemon is a D-Bus call that libavahi waits for (25 s when the daemon does not
// answer), so they are all made on the poll thread: the client is made there, and destroying the
// connection stops the poll thread and frees the client on a thread of their own. The owner's
// thread never waits on the daemon.
//
// `onEvent` runs on the poll thread with the poll lock held. Everything an owner made with the
// client (entry groups, resolvers) is freed with it: on `waiting` and `failed` the owner forgets
// those objects without freeing them. The handler, and whatever it holds, is destroyed after its
// last event, possibly after the connection object: results for the owner go through an
// AvahiOutbox.
class AvahiConnection final {
public:
    enum class Event {
        Ready,         // the daemon runs: make or commit the objects now
        HostChanging,  // the daemon renames this host: withdraw published records until `ready`
        Waiting,       // no daemon: everything made with the client is gone
        Failed,        // unrecoverable: everything made with the client is gone
    };
    // `failure` says why for `waiting` and `failed`.
    using Handler = std::function<void(AvahiClient* client, Event event, const QString& failure)>;

    explicit AvahiConnection(Handler onEvent);
    // Returns at once; the client is let go of in the background.
    ~AvahiConnection();
    AvahiConnection(const AvahiConnection&) = delete;
    AvahiConnection& operator=(const AvahiConnection&) = delete;

    // Waits until every connection destroyed so far has let go of its client, or until
    // `deadline`; tells whether they all have. For the end of the program, which thereby stays
    // bounded whatever the daemon does (a daemon that does not answer withdraws a client's
    // services anyway once the program's bus connection is gone).
    static bool waitForReleases(QDeadlineTimer deadline);

    // The text of an Avahi error number.
    static QString errorText(int error);

private:
    struct Client;

    std::unique_ptr<Client> m_client;
};

// Hands results from the poll thread to an owner on the owner's thread, until the owner lets go:
// the owner calls release() before it goes away, after which nothing more reaches it.
class AvahiOutbox final {
public:
    explicit AvahiOutbox(QObject* owner) : m_owner(owner) {}

    // Queues `job` on the owner's thread, unless it has let go.
    void post(std::function<void()> job);
    void release();

private:
    std::mutex m_mutex;
    QObject* m_owner;
};
