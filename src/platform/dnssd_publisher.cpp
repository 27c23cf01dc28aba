#include "dnssd_publisher.h"

#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>

#include <QByteArray>

#include "platform/avahi_connection.h"

// What the Avahi thread owns; touched only with the poll lock held.
struct DnsSdPublisher::Registration {
    DnsSdPublisher* owner = nullptr;
    QByteArray name;
    QByteArray type;
    quint16 port = 0;
    AvahiEntryGroup* group = nullptr;

    // Registers the service under `name`; a collision moves to the alternative name.
    void commit(AvahiClient* client) {
        if (group == nullptr) {
            group = avahi_entry_group_new(client, &groupCallback, this);
            if (group == nullptr) {
                owner->post(State::failed, AvahiConnection::errorText(avahi_client_errno(client)),
                            {});
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
            owner->post(State::failed, AvahiConnection::errorText(result), {});
            return;
        }
        const int result = avahi_entry_group_commit(group);
        if (result < 0) {
            owner->post(State::failed, AvahiConnection::errorText(result), {});
            return;
        }
        owner->post(State::registering, {}, {});
    }

    void onConnectionEvent(AvahiClient* client, AvahiConnection::Event event,
                           const QString& failure) {
        switch (event) {
            case AvahiConnection::Event::ready:
                commit(client);
                return;
            case AvahiConnection::Event::hostChanging:
                if (group != nullptr) {
                    avahi_entry_group_reset(group);
                }
                return;
            case AvahiConnection::Event::waiting:
            case AvahiConnection::Event::failed:
                // The group went, or goes, with the client.
                group = nullptr;
                owner->post(State::failed, failure, {});
                return;
        }
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
                registration->owner->post(State::established, {},
                                          QString::fromUtf8(registration->name));
                return;
            case AVAHI_ENTRY_GROUP_COLLISION:
                // Another host announced the name meanwhile.
                registration->renameAfterCollision();
                avahi_entry_group_reset(group);
                registration->commit(avahi_entry_group_get_client(group));
                return;
            case AVAHI_ENTRY_GROUP_FAILURE:
                registration->owner->post(State::failed,
                                          AvahiConnection::errorText(avahi_client_errno(
                                              avahi_entry_group_get_client(group))),
                                          {});
                return;
            case AVAHI_ENTRY_GROUP_UNCOMMITED:
            case AVAHI_ENTRY_GROUP_REGISTERING:
                return;
        }
    }
};

DnsSdPublisher::DnsSdPublisher(QString name, QString type, quint16 port, QObject* parent)
    : QObject(parent), m_registration(std::make_unique<Registration>()) {
    m_registration->owner = this;
    m_registration->name = name.toUtf8();
    m_registration->type = type.toUtf8();
    m_registration->port = port;
    m_connection = std::make_unique<AvahiConnection>(
        [registration = m_registration.get()](AvahiClient* client, AvahiConnection::Event event,
                                              const QString& failure) {
            registration->onConnectionEvent(client, event, failure);
        });
}

DnsSdPublisher::~DnsSdPublisher() {
    // Stops the Avahi thread first; freeing the client then withdraws the service.
    m_connection.reset();
}

void DnsSdPublisher::post(State state, QString failure, QString name) {
    QMetaObject::invokeMethod(
        this,
        [this, state, failure = std::move(failure), name = std::move(name)] {
            m_state = state;
            m_failure = failure;
            if (!name.isEmpty()) {
                m_registeredName = name;
            }
            Q_EMIT stateChanged();
        },
        Qt::QueuedConnection);
}
