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
    HttpRequest request(const char* path, const QUrl& origin = {}) {
        HttpRequest request;
        request.url = deployment::join(origin.isEmpty() ? m_server.origin() : origin,
                                       QString::fromLatin1(path));
        request.timeoutSeconds = 30;
        return request;
    }
    NetworkError::Code failure(const HttpRequest& request) {
        return test::errorOf<NetworkError>(m_client.send(request, {})).code();
    }

    ManualClock m_clock;
    QNetworkAccessManager m_manager;
    HttpClient m_client{m_clock, m_manager};
    FakeHttpServer m_server;
};

}  // namespace

// Two requests the server never answers: one ends exactly at its time limit, the other as soon
// as it is cancelled.
TEST_F(HttpClientTest, AHangingRequestEndsAtItsTimeLimitOrWhenCancelled) {
    FakeHttpServer::Response silence{.status = 0, .body = {}};
    silence.held = true;
    m_server.enqueue("/hang", silence);
    m_server.enqueue("/hang", silence);
    CancellationToken token;
    test::StartedTask<HttpResponse> timed(m_client.send(request("hang"), {}));
    test::StartedTask<HttpResponse> cancelled(m_client.send(request("hang"), token));
    ASSERT_TRUE(test::processEventsUntil([&] { return m_server.requests().size() == 2; }));
    token.cancel();
    ASSERT_TRUE(cancelled.waitUntilDone());
    EXPECT_THROW(cancelled.get(), CancelledError);
    m_clock.advance(29.95);
    EXPECT_FALSE(timed.isDone());
    m_clock.advance(0.05);
    ASSERT_TRUE(timed.waitUntilDone());
    EXPECT_EQ(test::errorOf<NetworkError>([&] { timed.get(); }).code(),
              NetworkError::Code::TimedOut);
}

TEST_F(HttpClientTest, FailsOnOversizedBodiesRefusedConnectionsAndClearTextOrigins) {
    // Announced by its Content-Length, or noticed while it streams in without an end.
    for (const bool streamed : {false, true}) {
        FakeHttpServer::Response big{.status = 200,
                                     .body = QByteArray(HttpClient::kMaxBodyBytes + 1, 'x')};
        big.streamed = streamed;
        m_server.enqueue("/big", big);
        EXPECT_EQ(failure(request("big")), NetworkError::Code::ResponseTooLarge);
    }
    const QUrl closed = FakeHttpServer().origin();  // closed again at once
    EXPECT_EQ(failure(request("", closed)), NetworkError::Code::Transport);
    // Plain http to a host off this computer: refused, not sent there nor to the default.
    qputenv("QUOTAMIND_TEST_ORIGIN", "http://example.com");
    const QUrl unsafe = deployment::origin("QUOTAMIND_TEST_ORIGIN", m_server.origin().toString());
    qunsetenv("QUOTAMIND_TEST_ORIGIN");
    EXPECT_EQ(failure(request("any", unsafe)), NetworkError::Code::RefusedOrigin);
    EXPECT_EQ(m_server.requests().size(), 2u) << "sent to the default origin";
}

TEST_F(HttpClientTest, CredentialsFollowNoRedirectToAnotherOrigin) {
    FakeHttpServer elsewhere(QHostAddress(QStringLiteral("127.0.0.2")));
    elsewhere.enqueue("/steal", {.status = 200, .body = "stolen"});
    const QByteArray target = elsewhere.origin().toEncoded() + "/steal";
    m_server.enqueue("/moved", {.status = 302, .body = {}, .headers = {{"Location", target}}});
    HttpRequest credentialed = request("moved");
    credentialed.headers = {{"Authorization", "Bearer access-secret"}};
    EXPECT_EQ(test::runTask(m_client.send(credentialed, {})).status, 302);
    EXPECT_TRUE(elsewhere.requests().empty());
}
