#include "platform/http_client.h"

#include <gtest/gtest.h>

#include <QNetworkAccessManager>

#include "fake_http_server.h"
#include "support/manual_clock.h"
#include "support/run_task.h"

namespace {

class HttpClientTest : public ::testing::Test {
protected:
    HttpRequest request(const char* path) {
        HttpRequest request;
        request.url = m_server.origin().resolved(QUrl(QString::fromLatin1(path)));
        request.timeoutSeconds = 30;
        return request;
    }

    ManualClock m_clock;
    QNetworkAccessManager m_manager;
    HttpClient m_client{m_clock, m_manager};
    FakeHttpServer m_server;
};

}  // namespace

// Header order on the wire is checked where it matters, by the Claude usage request tests.
TEST_F(HttpClientTest, ReturnsEveryStatusWithItsBody) {
    for (const int status : {200, 403, 500}) {
        m_server.enqueue("/any", {.status = status, .body = "body " + QByteArray::number(status)});
        const HttpResponse response = test::runTask(m_client.send(request("/any"), {}));
        EXPECT_EQ(response.status, status);
        EXPECT_EQ(response.body, "body " + QByteArray::number(status));
    }
}

TEST_F(HttpClientTest, FailsOnTimeOutsOversizedBodiesAndRefusedConnections) {
    m_server.enqueue("/hang", FakeHttpServer::Response::silence());
    test::expectTimeOutAfter(30, m_client.send(request("/hang"), {}), m_server, m_clock);

    m_server.enqueue("/big",
                     {.status = 200, .body = QByteArray(HttpClient::kMaxBodyBytes + 1, 'x')});
    EXPECT_EQ(test::errorOf<NetworkError>(m_client.send(request("/big"), {})).code(),
              NetworkError::Code::responseTooLarge);

    HttpRequest refused;
    refused.url = FakeHttpServer().origin();  // closed again at once
    EXPECT_EQ(test::errorOf<NetworkError>(m_client.send(refused, {})).code(),
              NetworkError::Code::transport);
}

TEST_F(HttpClientTest, CancellationAbortsTheRequest) {
    m_server.enqueue("/hang", FakeHttpServer::Response::silence());
    CancellationToken token;
    test::StartedTask<HttpResponse> task(m_client.send(request("/hang"), token));
    ASSERT_TRUE(test::processEventsUntil([&] { return !m_server.requests().empty(); }));
    token.cancel();
    ASSERT_TRUE(task.waitUntilDone());
    EXPECT_THROW(task.get(), CancelledError);
}
