#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QList>
#include <QUrl>
#include <utility>

#include "core/cancellation_token.h"
#include "core/clock.h"
#include "core/error.h"

class QNetworkAccessManager;

struct HttpRequest {
    QByteArray method = "GET";
    QUrl url;
    // Sent in this order, after nothing but what the HTTP stack must add itself.
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // Measured on the client's Clock from the moment the request is sent.
    double timeoutSeconds = 60.0;
    // Never answer from, nor store in, a cache.
    bool ignoreCaches = false;
};

struct HttpResponse {
    // The HTTP status; 0 when the answer was not an HTTP response.
    int status = 0;
    QByteArray body;
};

// A failure to get any HTTP response: the transport's own text, the time-out's, or the reason a
// request was not sent at all.
class NetworkError final : public PlatformError {
public:
    enum class Code { Transport, TimedOut, ResponseTooLarge, RefusedOrigin };

    NetworkError(Code code, QString description)
        : PlatformError(std::move(description)), m_code(code) {}
    static NetworkError timedOut();
    static NetworkError responseTooLarge();

    Code code() const { return m_code; }

private:
    Code m_code;
};

// HTTP requests through one QNetworkAccessManager, on the thread that owns it (the main thread).
// Every status, 4xx and 5xx included, is a response for the caller to judge; only a missing
// response is an error. Bodies are bounded: a larger one fails as responseTooLarge, with or
// without a Content-Length. Requests carry credentials, so a redirect is followed only within
// the request's origin; one to another origin is not followed (its 3xx is the response).
// A URL below an origin that the deployment refused fails as refusedOrigin, unsent.
class HttpClient final {
public:
    static constexpr qint64 kMaxBodyBytes = 4 * 1024 * 1024;

    // `manager` is not owned.
    HttpClient(Clock& clock, QNetworkAccessManager& manager);
    Q_DISABLE_COPY_MOVE(HttpClient)

    // Throws NetworkError, or CancelledError when `token` is cancelled first.
    QCoro::Task<HttpResponse> send(HttpRequest request, CancellationToken token);
    // Requests sent and not yet ended, so that a program that cancelled them at its end can let
    // them finish before the manager goes.
    int requestsInFlight() const { return m_requestsInFlight; }

private:
    Clock& m_clock;
    QNetworkAccessManager& m_manager;
    int m_requestsInFlight = 0;
};
