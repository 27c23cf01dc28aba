#include "http_client.h"

#include <QCoreApplication>
#include <QCoro/QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <memory>

#include "core/system_clock.h"

namespace {

struct ReplyState {
    bool timedOut = false;
    bool tooLarge = false;
};

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

// Aborts the reply when the time-out passes first; a cancelled token means the reply finished.
QCoro::Task<> abortAfter(Clock& clock, double seconds, CancellationToken token,
                         QPointer<QNetworkReply> reply, std::shared_ptr<ReplyState> state) {
    try {
        co_await clock.sleep(seconds, token);
    } catch (const CancelledError&) {
        co_return;
    }
    if (reply && reply->isRunning()) {
        state->timedOut = true;
        reply->abort();
    }
}

}  // namespace

NetworkError NetworkError::timedOut() {
    return NetworkError(Code::timedOut,
                        QCoreApplication::translate("NetworkError", "The request timed out."));
}

NetworkError NetworkError::responseTooLarge() {
    return NetworkError(Code::responseTooLarge,
                        QCoreApplication::translate("NetworkError", "The response is too large."));
}

HttpClient::HttpClient(Clock& clock, QNetworkAccessManager& manager)
    : m_clock(clock), m_manager(manager) {}

HttpClient& HttpClient::shared() {
    static QNetworkAccessManager* manager = new QNetworkAccessManager(QCoreApplication::instance());
    static HttpClient client(SystemClock::shared(), *manager);
    return client;
}

QCoro::Task<HttpResponse> HttpClient::send(HttpRequest request, CancellationToken token) {
    token.throwIfCancelled();
    QNetworkRequest networkRequest(request.url);
    for (const auto& [name, value] : request.headers) {
        networkRequest.setRawHeader(name, value);
    }
    if (request.ignoreCaches) {
        networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                                    QNetworkRequest::AlwaysNetwork);
        networkRequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    }
    // A bodiless GET goes out as one, without the "Content-Length: 0" a custom request adds.
    const bool plainGet = request.method == "GET" && request.body.isEmpty();
    std::unique_ptr<QNetworkReply, DeleteLater> reply(
        plainGet ? m_manager.get(networkRequest)
                 : m_manager.sendCustomRequest(networkRequest, request.method, request.body));
    auto state = std::make_shared<ReplyState>();
    QNetworkReply* rawReply = reply.get();
    QObject::connect(rawReply, &QNetworkReply::downloadProgress, rawReply,
                     [state, rawReply](qint64 received, qint64 total) {
                         if (received > kMaxBodyBytes || total > kMaxBodyBytes) {
                             state->tooLarge = true;
                             rawReply->abort();
                         }
                     });
    const QPointer<QNetworkReply> guarded(rawReply);
    const auto cancelCallback = token.onCancel([guarded] {
        QMetaObject::invokeMethod(
            guarded.data(),
            [guarded] {
                if (guarded) {
                    guarded->abort();
                }
            },
            Qt::QueuedConnection);
    });
    CancellationToken replyFinished;
    QCoro::Task<> watchdog =
        abortAfter(m_clock, request.timeoutSeconds, replyFinished, guarded, state);

    co_await rawReply;

    replyFinished.cancel();
    token.removeCallback(cancelCallback);
    token.throwIfCancelled();
    if (state->timedOut) {
        throw NetworkError::timedOut();
    }
    if (state->tooLarge) {
        throw NetworkError::responseTooLarge();
    }
    const QVariant status = rawReply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        co_return HttpResponse{status.toInt(), rawReply->readAll()};
    }
    if (rawReply->error() != QNetworkReply::NoError) {
        throw NetworkError(NetworkError::Code::transport, rawReply->errorString());
    }
    co_return HttpResponse{0, rawReply->readAll()};
}
