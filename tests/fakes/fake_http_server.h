#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QUrl>
#include <deque>
#include <utility>
#include <vector>

#include "platform/http_client.h"
#include "support/manual_clock.h"
#include "support/run_task.h"

// An HTTP/1.1 server on loopback for tests: it records every request and answers each path from
// a queue of scripted responses (404 when the queue of a path is empty). One request per
// connection; the answer closes it. Runs on the thread that creates it.
class FakeHttpServer final : public QObject {
    Q_OBJECT

public:
    using Headers = QList<std::pair<QByteArray, QByteArray>>;

    struct Request {
        QByteArray method;
        QByteArray path;
        Headers headers;
        QByteArray body;

        // The first header of this name (compared without case), or a null QByteArray.
        QByteArray header(const QByteArray& name) const;
    };

    struct Response {
        int status = 200;
        QByteArray body;
        Headers headers = {{"Content-Type", "application/json"}};
        // Keep the connection open and never answer (for time-outs).
        bool neverAnswer = false;

        static Response silence() {
            Response response;
            response.neverAnswer = true;
            return response;
        }
    };

    FakeHttpServer();

    // The server's base URL, "http://127.0.0.1:PORT".
    QUrl origin() const;
    void enqueue(const QByteArray& path, Response response);
    const std::vector<Request>& requests() const { return m_requests; }

private:
    void serve(QTcpSocket* socket);
    // A complete request at the start of `buffer`, removed from it; nothing while incomplete.
    static std::optional<Request> takeRequest(QByteArray& buffer);

    QTcpServer m_server;
    QHash<QByteArray, std::deque<Response>> m_responses;
    std::vector<Request> m_requests;
};

namespace test {

// Runs `task`, whose request `server` never answers, and checks that it fails with a time-out
// exactly `seconds` of `clock` time after the request arrived.
template <typename T>
void expectTimeOutAfter(double seconds, QCoro::Task<T> task, FakeHttpServer& server,
                        ManualClock& clock) {
    const std::size_t before = server.requests().size();
    StartedTask<T> started(std::move(task));
    ASSERT_TRUE(processEventsUntil([&] { return server.requests().size() > before; }));
    clock.advance(seconds - 0.05);
    EXPECT_FALSE(started.isDone());
    clock.advance(0.05);
    ASSERT_TRUE(started.waitUntilDone());
    EXPECT_EQ(errorOf<NetworkError>([&] { started.get(); }).code(), NetworkError::Code::timedOut);
}

}  // namespace test
