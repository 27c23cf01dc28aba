#include "http_client.h"

#include <QCoreApplication>
#include <QCoro/QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QScopeGuard>
#include <memory>
#include <optional>

#include "core/deployment.h"
#include "core/time_limit.h"

namespace {

struct ReplyState {
    bool timedOut = false;
    bool tooLarge = false;
};

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

}  // namespace

NetworkError NetworkError::timedOut() {
    return NetworkError(Code::TimedOut,
                        QCoreApplication::translate("NetworkError", "The request timed out."));
}

NetworkError NetworkError::responseTooLarge() {
    return NetworkError(Code::ResponseTooLarge,
                        QCoreApplication::translate("NetworkError", "The response is too large."));
}

HttpClient::HttpClient(Clock& clock, QNetworkAccessManager& manager)
    : m_clock(clock), m_manager(manager) {}

QCoro::Task<HttpResponse> HttpClient::send(HttpRequest request, CancellationToken token) {
    token.throwIfCancelled();
    if (const std::optional<QString> refused = deployment::refusal(request.url)) {
        throw NetworkError(NetworkError::Code::RefusedOrigin, *refused);
    }
    QNetworkRequest networkRequest(request.url);
    // Headers such as Authorization would follow a redirect; only the same origin may see them.
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                QNetworkRequest::SameOriginRedirectPolicy);
    for (const auto& [name, value] : request.headers) {
        networkRequest.setRawHeader(name, value);
    }
    if (request.ignoreCaches) {
        networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                                    QNetworkRequest::AlwaysNetwork);
        networkRequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    }
    ++m_requestsInFlight;
    const auto ended = qScopeGuard([this] { --m_requestsInFlight; });
    // A bodiless GET goes out as one, without the "Content-Length: 0" a custom request adds.
    const bool plainGet = request.method == "GET" && request.body.isEmpty();
    std::unique_ptr<QNetworkReply, DeleteLater> reply(
        plainGet ? m_manager.get(networkRequest)
                 : m_manager.sendCustomRequest(networkRequest, request.method, request.body));
    auto state = std::make_shared<ReplyState>();
    QNetworkReply* rawReply = reply.get();
    // A Content-Length announces an oversized body at once. Without one the body is measured as
    // it arrives: readyRead comes with every piece, downloadProgress only every 100 ms.
    const auto refuseOversized = [state, rawReply](qint64 size) {
        if (size > kMaxBodyBytes) {
            state->tooLarge = true;
            rawReply->abort();
        }
    };
    QObject::connect(rawReply, &QNetworkReply::downloadProgress, rawReply,
                     [refuseOversized](qint64, qint64 total) { refuseOversized(total); });
    QObject::connect(rawReply, &QNetworkReply::readyRead, rawReply,
                     [refuseOversized, rawReply] { refuseOversized(rawReply->bytesAvailable()); });
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
    // Cancelled once the reply is in; the limit's task then ends on its own.
    CancellationToken replyFinished;
    QCoro::Task<> timeLimit =
        runAfter(m_clock, request.timeoutSeconds, replyFinished, [guarded, state] {
            if (guarded && guarded->isRunning()) {
                state->timedOut = true;
                guarded->abort();
            }
        });

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
        throw NetworkError(NetworkError::Code::Transport, rawReply->errorString());
    }
    co_return HttpResponse{0, rawReply->readAll()};
}
