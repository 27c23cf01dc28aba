#include "dnssd_resolver.h"

#include <avahi-client/lookup.h>
#include <avahi-common/address.h>
#include <avahi-common/error.h>
#include <net/if.h>

#include <QByteArray>
#include <QCoreApplication>

#include "platform/dnssd/avahi_connection.h"

// What the Avahi thread owns; touched only with the poll lock held. It may outlive the resolver,
// whose results then go nowhere.
struct DnsSdResolver::Lookup {
    explicit Lookup(DnsSdResolver* resolver) : owner(resolver), outbox(resolver) {}

    // Only dereferenced on the resolver's thread, through the outbox.
    DnsSdResolver* const owner;
    AvahiOutbox outbox;
    QByteArray name;
    QByteArray type;
    AvahiServiceResolver* resolver = nullptr;
    bool done = false;

    void start(AvahiClient* client) {
        if (done || resolver != nullptr) {
            return;
        }
        resolver = avahi_service_resolver_new(
            client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, name.constData(), type.constData(),
            "local", AVAHI_PROTO_UNSPEC, AvahiLookupFlags(0), &resolverCallback, this);
        if (resolver == nullptr) {
            fail(AvahiConnection::errorText(avahi_client_errno(client)));
        }
    }

    void fail(const QString& failure) {
        outbox.post([owner = owner, failure] { owner->m_lastFailure = failure; });
    }

    static void resolverCallback(AvahiServiceResolver* resolver, AvahiIfIndex interface,
                                 AvahiProtocol, AvahiResolverEvent event, const char*, const char*,
                                 const char*, const char*, const AvahiAddress* address,
                                 uint16_t port, AvahiStringList*, AvahiLookupResultFlags,
                                 void* self) {
        auto* lookup = static_cast<Lookup*>(self);
        AvahiClient* client = avahi_service_resolver_get_client(resolver);
        avahi_service_resolver_free(resolver);
        lookup->resolver = nullptr;
        if (event != AVAHI_RESOLVER_FOUND || address == nullptr) {
            const int error = avahi_client_errno(client);
            if (error != AVAHI_ERR_TIMEOUT) {
                lookup->fail(AvahiConnection::errorText(error));
                return;
            }
            lookup->fail(
                QCoreApplication::translate("DnsSdResolver", "The service was not found."));
            // Asked again: the service may appear later.
            lookup->start(client);
            return;
        }
        char text[AVAHI_ADDRESS_STR_MAX] = {};
        avahi_address_snprint(text, sizeof text, address);
        QHostAddress host(QString::fromLatin1(text));
        if (host.protocol() == QAbstractSocket::IPv6Protocol && host.isLinkLocal()) {
            char interfaceName[IF_NAMESIZE] = {};
            if (if_indextoname(static_cast<unsigned>(interface), interfaceName) != nullptr) {
                host.setScopeId(QString::fromLatin1(interfaceName));
            }
        }
        lookup->done = true;
        lookup->outbox.post(
            [owner = lookup->owner, host, port] { Q_EMIT owner->found(host, port); });
    }
};

DnsSdResolver::DnsSdResolver(const QString& name, const QString& type, QObject* parent)
    : QObject(parent), m_lookup(std::make_shared<Lookup>(this)) {
    m_lookup->name = name.toUtf8();
    m_lookup->type = type.toUtf8();
    m_connection = std::make_unique<AvahiConnection>(
        [lookup = m_lookup](AvahiClient* client, AvahiConnection::Event event,
                            const QString& failure) {
            switch (event) {
                case AvahiConnection::Event::Ready:
                    lookup->start(client);
                    return;
                case AvahiConnection::Event::HostChanging:
                    return;
                case AvahiConnection::Event::Waiting:
                case AvahiConnection::Event::Failed:
                    lookup->resolver = nullptr;
                    lookup->fail(failure);
                    return;
            }
        });
}

DnsSdResolver::~DnsSdResolver() {
    m_lookup->outbox.release();
    m_connection.reset();
}
