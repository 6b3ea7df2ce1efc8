// The status server over real sockets on loopback: answers from the
// snapshot published, and its limits.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QThread>
#include <memory>
#include <vector>

#include "HttpExchange.h"
#include "status/StatusServer.h"

namespace karvo {
namespace {

QByteArray Get(std::uint16_t port, const QByteArray& target, const QByteArray& extra = {}) {
  return Exchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n");
}

class StatusServerTest : public ::testing::Test {
 protected:
  void Start(TStatusOptions options = {}, int idleMs = TStatusServer::kIdleMs) {
    options.Port = 0;  // any free port: two runs side by side never meet
    ASSERT_EQ(server.Start(options, idleMs), "");
    ASSERT_NE(server.Port(), 0);
  }
  std::shared_ptr<TStatusSnapshot> Snapshot(double temperature) {
    auto s = std::make_shared<TStatusSnapshot>();
    s->FurnaceName = "Furnace1";
    s->Connection = "connected";
    s->Temperature = temperature;
    return s;
  }
  TStatusServer server;
};

TEST_F(StatusServerTest, AnswersFromTheSnapshotLastPublished) {
  Start();
  EXPECT_EQ(server.Url(), "http://127.0.0.1:" + std::to_string(server.Port()) + "/");
  EXPECT_TRUE(Get(server.Port(), "/status.json").startsWith("HTTP/1.1 503"));
  server.Publish(Snapshot(101.5));
  QByteArray reply = Get(server.Port(), "/status.json");
  EXPECT_TRUE(reply.startsWith("HTTP/1.1 200")) << reply.toStdString();
  EXPECT_TRUE(reply.contains("\"temperature_c\":101.5")) << reply.toStdString();
  server.Publish(Snapshot(102.75));
  EXPECT_TRUE(Get(server.Port(), "/metrics").contains("karvo_temperature_celsius{furnace=\"Furnace1\"} 102.75"));
  EXPECT_TRUE(Get(server.Port(), "/nowhere").startsWith("HTTP/1.1 404"));
  {
    // A client that asks for the connection to close sees it closed.
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), server.Port());
    ASSERT_TRUE(s.waitForConnected(5000));
    s.write("GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(s.waitForDisconnected(5000));
    EXPECT_TRUE(s.readAll().contains("karvo_temperature_celsius"));
  }
  EXPECT_TRUE(Exchange(server.Port(), "POST /status.json HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n\r\n{}")
                  .startsWith("HTTP/1.1 405"));

  // The chart nobody asked for yet: 503, and the feed is asked to draw it.
  std::atomic<int> asked{-1};
  server.SetChartMissingHandler([&](TStatusChartRange r) { asked = static_cast<int>(r); });
  EXPECT_FALSE(server.ChartWanted(TStatusChartRange::EightHours));
  EXPECT_TRUE(Get(server.Port(), "/chart.png?hours=8").startsWith("HTTP/1.1 503"));
  EXPECT_EQ(asked.load(), static_cast<int>(TStatusChartRange::EightHours));
  EXPECT_TRUE(server.ChartWanted(TStatusChartRange::EightHours));
  EXPECT_FALSE(server.ChartWanted(TStatusChartRange::Hour));
  auto withChart = Snapshot(103);
  withChart->ChartPng[1] = std::make_shared<const std::string>("\x89PNG\r\n\x1a\nrest");
  server.Publish(withChart);
  reply = Get(server.Port(), "/chart.png?hours=8");
  EXPECT_TRUE(reply.startsWith("HTTP/1.1 200")) << reply.toStdString();
  EXPECT_TRUE(reply.contains("Content-Type: image/png"));
  EXPECT_TRUE(reply.endsWith("\x89PNG\r\n\x1a\nrest"));
  server.SetChartMissingHandler(nullptr);
}

TEST_F(StatusServerTest, AskedForItsTokenWhenItHasOne) {
  TStatusOptions o;
  o.Token = "feedc0de";
  Start(o);
  server.Publish(Snapshot(1));
  const QByteArray refused = Get(server.Port(), "/status.json");
  EXPECT_TRUE(refused.startsWith("HTTP/1.1 401")) << refused.toStdString();
  EXPECT_FALSE(refused.contains("temperature"));
  EXPECT_TRUE(Get(server.Port(), "/status.json", "Authorization: Bearer feedc0de\r\n").startsWith("HTTP/1.1 200"));
  EXPECT_TRUE(Get(server.Port(), "/metrics?token=feedc0de").startsWith("HTTP/1.1 200"));
  EXPECT_TRUE(Get(server.Port(), "/metrics?token=feedc0df").startsWith("HTTP/1.1 401"));
}

TEST_F(StatusServerTest, RefusesAnAddressBeyondLoopbackWithoutTokenAndAPortInUse) {
  TStatusServer wide;
  TStatusOptions o;
  o.Port = 0;
  o.Bind = "0.0.0.0";
  EXPECT_EQ(wide.Start(o), "an address beyond loopback needs a token");
  o.Bind = "not-an-address";
  EXPECT_EQ(wide.Start(o), "\"not-an-address\" is not an IP address");
  Start();
  TStatusServer second;
  TStatusOptions same;
  same.Port = server.Port();
  const std::string error = second.Start(same);
  EXPECT_EQ(error.rfind("cannot listen on 127.0.0.1:" + std::to_string(server.Port()) + ": ", 0), 0u) << error;
}

TEST_F(StatusServerTest, ARequestHeadOver8KiBIsRefused) {
  Start();
  server.Publish(Snapshot(1));
  const QByteArray fits = "X-Fill: " + QByteArray(7000, 'a') + "\r\n";
  EXPECT_TRUE(Get(server.Port(), "/status.json", fits).startsWith("HTTP/1.1 200"));
  const QByteArray tooLong = "X-Fill: " + QByteArray(9000, 'a') + "\r\n";
  EXPECT_TRUE(Get(server.Port(), "/status.json", tooLong).startsWith("HTTP/1.1 431"));
  // Sent in small pieces, it is counted all the same.
  QTcpSocket s;
  s.connectToHost(QStringLiteral("127.0.0.1"), server.Port());
  ASSERT_TRUE(s.waitForConnected(5000));
  s.write("GET /status.json HTTP/1.1\r\n");
  QByteArray reply;
  for (int i = 0; i < 40 && !reply.contains("431"); ++i) {
    s.write("X-Piece: " + QByteArray(400, 'b') + "\r\n");
    s.waitForBytesWritten(1000);
    if (s.waitForReadyRead(20)) reply += s.readAll();
  }
  EXPECT_TRUE(reply.startsWith("HTTP/1.1 431")) << reply.toStdString();
}

TEST_F(StatusServerTest, KeepsAtMost64ConnectionsAndClosesIdleOnes) {
  // The idle time outlasts opening 64 connections on a busy machine (over
  // 4 s in the sanitizer build beside other tests).
  Start({}, /*idleMs=*/10000);
  server.Publish(Snapshot(1));
  const auto connect = [&] {
    auto s = std::make_unique<QTcpSocket>();
    s->connectToHost(QStringLiteral("127.0.0.1"), server.Port());
    EXPECT_TRUE(s->waitForConnected(5000));
    return s;
  };
  const auto waitOpen = [&](int n) {
    QElapsedTimer t;
    t.start();
    while (server.OpenConnections() != n && t.elapsed() < 5000) QThread::msleep(5);
    return server.OpenConnections();
  };
  // 64 connections inside a request (its head not yet complete): a 65th
  // is refused.
  std::vector<std::unique_ptr<QTcpSocket>> open;
  for (int i = 0; i < TStatusServer::kMaxConnections; ++i) {
    open.push_back(connect());
    open.back()->write("GET /status.json HTTP/1.1\r\n");
    open.back()->waitForBytesWritten(1000);
  }
  ASSERT_EQ(waitOpen(TStatusServer::kMaxConnections), TStatusServer::kMaxConnections);
  // The server must have read the heads' first bytes: until then a
  // connection looks idle between requests (on a busy machine its bytes may
  // still wait in the system's buffer).
  QElapsedTimer seen;
  seen.start();
  while (server.ConnectionsInsideRequest() != TStatusServer::kMaxConnections && seen.elapsed() < 5000)
    QThread::msleep(5);
  ASSERT_EQ(server.ConnectionsInsideRequest(), TStatusServer::kMaxConnections);
  const QByteArray refused = Get(server.Port(), "/status.json");
  EXPECT_TRUE(refused.startsWith("HTTP/1.1 503")) << refused.toStdString();
  // Idle connections go after the idle time; then the server answers again.
  for (auto& s : open) {
    if (s->state() == QAbstractSocket::ConnectedState) {
      EXPECT_TRUE(s->waitForDisconnected(20000));
    }
  }
  EXPECT_EQ(waitOpen(0), 0);
  EXPECT_TRUE(Get(server.Port(), "/status.json").startsWith("HTTP/1.1 200"));

  // 64 kept-alive connections between requests: a new one takes the place
  // of the one idle longest, and is answered.
  open.clear();
  for (int i = 0; i < TStatusServer::kMaxConnections; ++i) {
    open.push_back(connect());
    if (i == 0) QThread::msleep(50);  // the first is the one idle longest
  }
  ASSERT_EQ(waitOpen(TStatusServer::kMaxConnections), TStatusServer::kMaxConnections);
  EXPECT_TRUE(Get(server.Port(), "/status.json").startsWith("HTTP/1.1 200"));
  EXPECT_TRUE(open.front()->state() != QAbstractSocket::ConnectedState || open.front()->waitForDisconnected(5000));
  EXPECT_LE(server.OpenConnections(), TStatusServer::kMaxConnections);
}

}  // namespace
}  // namespace karvo

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
