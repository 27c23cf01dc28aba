#include "fake_http_server.h"

std::optional<QByteArray> FakeHttpServer::Request::sentHeader(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return std::nullopt;
}

FakeHttpServer::FakeHttpServer(const QHostAddress& address) {
    if (!m_server.listen(address, 0)) {
        qFatal("fake HTTP server cannot listen on loopback");
    }
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            serve(socket);
        }
    });
}

QUrl FakeHttpServer::origin() const {
    return QUrl(QStringLiteral("http://%1:%2")
                    .arg(m_server.serverAddress().toString())
                    .arg(m_server.serverPort()));
}

void FakeHttpServer::enqueue(const QByteArray& path, Response response) {
    m_responses[path].push_back(std::move(response));
}

void FakeHttpServer::serve(QTcpSocket* socket) {
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
        buffer->append(socket->readAll());
        std::optional<Request> request = takeRequest(*buffer);
        if (!request) {
            return;
        }
        m_requests.push_back(*request);
        Response response{.status = 404, .body = {}, .headers = {}};
        auto queue = m_responses.find(request->path);
        if (queue != m_responses.end() && !queue->empty()) {
            response = std::move(queue->front());
            queue->pop_front();
        }
        if (response.dropped) {
            socket->abort();
            return;
        }
        if (response.held) {
            m_held.emplace_back(socket, answer(response));
            return;
        }
        socket->write(answer(response));
        if (!response.streamed) {
            socket->disconnectFromHost();
        }
    });
}

void FakeHttpServer::answerHeld() {
    for (const auto& [socket, bytes] : std::exchange(m_held, {})) {
        if (socket) {
            socket->write(bytes);
            socket->disconnectFromHost();
        }
    }
}

QByteArray FakeHttpServer::answer(const Response& response) {
    // Clients read the status code only; the reason phrase is free text.
    QByteArray bytes = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
    for (const auto& [name, value] : response.headers) {
        bytes += name + ": " + value + "\r\n";
    }
    if (!response.streamed) {
        bytes += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    }
    return bytes + "Connection: close\r\n\r\n" + response.body;
}

std::optional<FakeHttpServer::Request> FakeHttpServer::takeRequest(QByteArray& buffer) {
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0) {
        return std::nullopt;
    }
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    Request request;
    request.path = requestLine.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0) {
            request.headers.append(
                {lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
        }
    }
    const qsizetype contentLength = request.header("Content-Length").toLongLong();
    const qsizetype bodyStart = headerEnd + 4;
    if (buffer.size() - bodyStart < contentLength) {
        return std::nullopt;
    }
    request.body = buffer.mid(bodyStart, contentLength);
    buffer.remove(0, bodyStart + contentLength);
    return request;
}
