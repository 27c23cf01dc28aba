#include "platform/http_client.h"

#include <gtest/gtest.h>

#include <QNetworkAccessManager>

#include "core/deployment.h"
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
    for (const int status : {200, 500}) {
        m_server.enqueue("/any", {.status = status, .body = "body " + QByteArray::number(status)});
        const HttpResponse response = test::runTask(m_client.send(request("/any"), {}));
        EXPECT_EQ(response.status, status);
        EXPECT_EQ(response.body, "body " + QByteArray::number(status));
    }
}

TEST_F(HttpClientTest, FailsOnTimeOutsOversizedBodiesAndRefusedConnections) {
    m_server.enqueue("/hang", FakeHttpServer::Response::silence());
    test::expectTimeOutAfter(30, m_client.send(request("/hang"), {}), m_server, m_clock);

    // Announced by its Content-Length, or noticed while it streams in without an end.
    for (const bool streamed : {false, true}) {
        FakeHttpServer::Response big{.status = 200,
                                     .body = QByteArray(HttpClient::kMaxBodyBytes + 1, 'x')};
        big.streamed = streamed;
        m_server.enqueue("/big", big);
        EXPECT_EQ(test::errorOf<NetworkError>(m_client.send(request("/big"), {})).code(),
                  NetworkError::Code::responseTooLarge);
    }

    HttpRequest refused;
    refused.url = FakeHttpServer().origin();  // closed again at once
    EXPECT_EQ(test::errorOf<NetworkError>(m_client.send(refused, {})).code(),
              NetworkError::Code::transport);

    // Plain http to a host off this computer: refused, not sent there nor to the default.
    qputenv("QUOTAMIND_TEST_ORIGIN", "http://example.com");
    HttpRequest unsafe;
    unsafe.url =
        deployment::join(deployment::origin("QUOTAMIND_TEST_ORIGIN", m_server.origin().toString()),
                         QStringLiteral("any"));
    qunsetenv("QUOTAMIND_TEST_ORIGIN");
    const NetworkError error = test::errorOf<NetworkError>(m_client.send(unsafe, {}));
    EXPECT_EQ(error.code(), NetworkError::Code::refusedOrigin);
    EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("QUOTAMIND_TEST_ORIGIN")));
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

TEST_F(HttpClientTest, CredentialsFollowNoRedirectToAnotherOrigin) {
    FakeHttpServer elsewhere(QHostAddress(QStringLiteral("127.0.0.2")));
    elsewhere.enqueue("/steal", {.status = 200, .body = "stolen"});
    const QByteArray target = elsewhere.origin().toEncoded() + "/steal";
    m_server.enqueue("/moved", {.status = 302, .body = {}, .headers = {{"Location", target}}});
    HttpRequest credentialed = request("/moved");
    credentialed.headers = {{"Authorization", "Bearer access-secret"}};
    const HttpResponse response = test::runTask(m_client.send(credentialed, {}));
    EXPECT_EQ(response.status, 302);
    EXPECT_TRUE(elsewhere.requests().empty());
}
