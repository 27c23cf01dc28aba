#pragma once

#include <QHash>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <deque>

#include "platform/http_client.h"

// An HTTP/1.1 server on loopback for tests: it records every request and answers each path from
// a queue of scripted responses (404 when the queue of a path is empty). One request per
// connection; the answer closes it. Runs on the thread that creates it.
class FakeHttpServer final : public QObject {
    Q_OBJECT

public:
    using Headers = QList<std::pair<QByteArray, QByteArray>>;

    struct Request {
        QByteArray path;
        Headers headers;
        QByteArray body;

        // The first header of this name (compared without case); none when not sent, so that a
        // header sent with an empty value is told apart from a missing one.
        std::optional<QByteArray> sentHeader(const QByteArray& name) const;
        QByteArray header(const QByteArray& name) const {
            return sentHeader(name).value_or(QByteArray());
        }
    };

    struct Response {
        int status = 200;
        QByteArray body;
        Headers headers = {{"Content-Type", "application/json"}};
        // Answer only when the test calls answerHeld(), so it can act while the request is out;
        // never, when it does not (for time-outs).
        bool held = false;
        // No Content-Length, and the connection stays open after the body, as if more followed.
        bool streamed = false;
        // Close the connection without a word, as a dying server or a broken network does.
        bool dropped = false;
    };

    // Listens on `address`, a loopback one; another 127.x address is another origin.
    explicit FakeHttpServer(const QHostAddress& address = QHostAddress(QHostAddress::LocalHost));

    // "http://ADDRESS:PORT".
    QUrl origin() const;
    void enqueue(const QByteArray& path, Response response);
    const std::vector<Request>& requests() const { return m_requests; }
    // Sends the answers held so far.
    void answerHeld();

private:
    void serve(QTcpSocket* socket);
    // A complete request at the start of `buffer`, removed from it; nothing while incomplete.
    static std::optional<Request> takeRequest(QByteArray& buffer);
    static QByteArray answer(const Response& response);

    QTcpServer m_server;
    QHash<QByteArray, std::deque<Response>> m_responses;
    std::vector<Request> m_requests;
    std::vector<std::pair<QPointer<QTcpSocket>, QByteArray>> m_held;
};
