#include "platform/http_client.h"

#include <gtest/gtest.h>

#include <QNetworkAccessManager>

#include "core/manual_clock.h"
#include "fake_http_server.h"
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

NetworkError::Code failureOf(test::StartedTask<HttpResponse>& task) {
    try {
        task.get();
    } catch (const NetworkError& error) {
        return error.code();
    }
    ADD_FAILURE() << "no network error";
    return NetworkError::Code::transport;
}

}  // namespace

TEST_F(HttpClientTest, SendsHeadersInOrderAndReturnsEveryStatusWithItsBody) {
    m_server.enqueue("/ok", {.status = 200, .body = "{\"a\":1}"});
    m_server.enqueue("/denied", {.status = 403, .body = "nope"});
    HttpRequest ok = request("/ok");
    ok.headers = {{"Authorization", "Bearer t"},
                  {"Accept", "application/json"},
                  {"anthropic-beta", "x"},
                  {"User-Agent", "agent/1"}};
    const HttpResponse first = test::runTask(m_client.send(ok, {}));
    EXPECT_EQ(first.status, 200);
    EXPECT_EQ(first.body, "{\"a\":1}");
    const HttpResponse second = test::runTask(m_client.send(request("/denied"), {}));
    EXPECT_EQ(second.status, 403);
    EXPECT_EQ(second.body, "nope");

    ASSERT_EQ(m_server.requests().size(), 2u);
    QList<QByteArray> order;
    for (const auto& [name, value] : m_server.requests()[0].headers) {
        if (name == "Authorization" || name == "Accept" || name == "anthropic-beta" ||
            name == "User-Agent") {
            order.append(name + ": " + value);
        }
    }
    EXPECT_EQ(order, (QList<QByteArray>{"Authorization: Bearer t", "Accept: application/json",
                                        "anthropic-beta: x", "User-Agent: agent/1"}));
}

TEST_F(HttpClientTest, AServerThatNeverAnswersTimesOutOnTheClock) {
    m_server.enqueue("/hang", FakeHttpServer::Response::silence());
    test::StartedTask<HttpResponse> task(m_client.send(request("/hang"), {}));
    ASSERT_TRUE(test::processEventsUntil([&] { return !m_server.requests().empty(); }));
    m_clock.advance(29.9);
    EXPECT_FALSE(task.isDone());
    m_clock.advance(0.1);
    ASSERT_TRUE(task.waitUntilDone());
    EXPECT_EQ(failureOf(task), NetworkError::Code::timedOut);
}

TEST_F(HttpClientTest, OversizedBodiesAndRefusedConnectionsFail) {
    m_server.enqueue("/big",
                     {.status = 200, .body = QByteArray(HttpClient::kMaxBodyBytes + 1, 'x')});
    test::StartedTask<HttpResponse> big(m_client.send(request("/big"), {}));
    ASSERT_TRUE(big.waitUntilDone());
    EXPECT_EQ(failureOf(big), NetworkError::Code::responseTooLarge);

    QUrl closed;
    {
        FakeHttpServer gone;
        closed = gone.origin();
    }
    HttpRequest refused;
    refused.url = closed;
    test::StartedTask<HttpResponse> task(m_client.send(refused, {}));
    ASSERT_TRUE(task.waitUntilDone());
    EXPECT_EQ(failureOf(task), NetworkError::Code::transport);
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
