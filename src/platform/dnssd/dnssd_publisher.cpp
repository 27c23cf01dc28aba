#include "dnssd_publisher.h"

#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>

#include <QByteArray>

#include "platform/dnssd/avahi_connection.h"

// What the Avahi thread owns; touched only with the poll lock held. It may outlive the publisher,
// whose results then go nowhere.
struct DnsSdPublisher::Registration {
    explicit Registration(DnsSdPublisher* publisher) : owner(publisher), outbox(publisher) {}

    // Only dereferenced on the publisher's thread, through the outbox.
    DnsSdPublisher* const owner;
    AvahiOutbox outbox;
    QByteArray name;
    QByteArray type;
    quint16 port = 0;
    AvahiEntryGroup* group = nullptr;

    // Registers the service under `name`; a collision moves to the alternative name.
    void commit(AvahiClient* client) {
        if (group == nullptr) {
            group = avahi_entry_group_new(client, &groupCallback, this);
            if (group == nullptr) {
                post(State::Failed, AvahiConnection::errorText(avahi_client_errno(client)), {});
                return;
            }
        }
        if (!avahi_entry_group_is_empty(group)) {
            return;
        }
        for (;;) {
            const int result = avahi_entry_group_add_service(
                group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), name.constData(),
                type.constData(), nullptr, nullptr, port, nullptr);
            if (result == AVAHI_ERR_COLLISION) {
                renameAfterCollision();
                continue;
            }
            if (result >= 0) {
                break;
            }
            post(State::Failed, AvahiConnection::errorText(result), {});
            return;
        }
        const int result = avahi_entry_group_commit(group);
        if (result < 0) {
            post(State::Failed, AvahiConnection::errorText(result), {});
            return;
        }
        post(State::Registering, {}, {});
    }

    void onConnectionEvent(AvahiClient* client, AvahiConnection::Event event,
                           const QString& failure) {
        switch (event) {
            case AvahiConnection::Event::Ready:
                commit(client);
                return;
            case AvahiConnection::Event::HostChanging:
                if (group != nullptr) {
                    avahi_entry_group_reset(group);
                }
                return;
            case AvahiConnection::Event::Waiting:
            case AvahiConnection::Event::Failed:
                // The group went, or goes, with the client.
                group = nullptr;
                post(State::Failed, failure, {});
                return;
        }
    }

    void post(State state, QString failure, QString registeredName) {
        outbox.post([owner = owner, state, failure = std::move(failure),
                     registeredName = std::move(registeredName)] {
            owner->apply(state, failure, registeredName);
        });
    }

    void renameAfterCollision() {
        char* alternative = avahi_alternative_service_name(name.constData());
        name = QByteArray(alternative);
        avahi_free(alternative);
    }

    static void groupCallback(AvahiEntryGroup* group, AvahiEntryGroupState state, void* self) {
        auto* registration = static_cast<Registration*>(self);
        switch (state) {
            case AVAHI_ENTRY_GROUP_ESTABLISHED:
                registration->post(State::Established, {}, QString::fromUtf8(registration->name));
                return;
            case AVAHI_ENTRY_GROUP_COLLISION:
                // Another host announced the name meanwhile.
                registration->renameAfterCollision();
                avahi_entry_group_reset(group);
                registration->commit(avahi_entry_group_get_client(group));
                return;
            case AVAHI_ENTRY_GROUP_FAILURE:
                registration->post(State::Failed,
                                   AvahiConnection::errorText(
                                       avahi_client_errno(avahi_entry_group_get_client(group))),
                                   {});
                return;
            case AVAHI_ENTRY_GROUP_UNCOMMITED:
            case AVAHI_ENTRY_GROUP_REGISTERING:
                return;
        }
    }
};

DnsSdPublisher::DnsSdPublisher(const QString& name, const QString& type, quint16 port,
                               QObject* parent)
    : QObject(parent), m_registration(std::make_shared<Registration>(this)) {
    m_registration->name = name.toUtf8();
    m_registration->type = type.toUtf8();
    m_registration->port = port;
    // The handler keeps the registration for as long as the Avahi thread may use it.
    m_connection = std::make_unique<AvahiConnection>(
        [registration = m_registration](AvahiClient* client, AvahiConnection::Event event,
                                        const QString& failure) {
            registration->onConnectionEvent(client, event, failure);
        });
}

DnsSdPublisher::~DnsSdPublisher() {
    m_registration->outbox.release();
    // Freeing the client in the background withdraws the service.
    m_connection.reset();
}

bool DnsSdPublisher::waitForWithdrawals(QDeadlineTimer deadline) {
    return AvahiConnection::waitForReleases(deadline);
}

void DnsSdPublisher::apply(State state, const QString& failure, const QString& name) {
    m_state = state;
    m_failure = failure;
    if (!name.isEmpty()) {
        m_registeredName = name;
    }
    Q_EMIT stateChanged();
}
