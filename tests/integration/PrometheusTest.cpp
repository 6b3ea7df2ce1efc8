// A real Prometheus (Debian's) scraping the status servers of two programs,
// each on its own simulated furnace: its HTTP API gives both furnaces'
// temperatures, each under its furnace label, as the programs report them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <map>
#include <memory>

#include "../status/HttpExchange.h"

namespace karvo {
namespace {

template <class Pred>
bool WaitFor(Pred done, int limitMs) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > limitMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(50);
  }
  return true;
}

// A free loopback port (taken by nobody the moment it is asked for).
std::uint16_t FreePort() {
  QTcpServer s;
  s.listen(QHostAddress::LocalHost, 0);
  return s.serverPort();
}

class Program {
 public:
  Program(const char* furnace, const char* temperature) {
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(KARVO_STATUS_FURNACE_CHILD),
                  {QString::fromLatin1(furnace), QString::fromLatin1(temperature)});
  }
  ~Program() {
    process.kill();
    process.waitForFinished(5000);
  }
  // The status server's port, once the program has printed it.
  std::uint16_t Port() {
    WaitFor([&] { return process.canReadLine() || process.state() == QProcess::NotRunning; }, 30000);
    const QByteArray line = process.readLine().trimmed();
    return line.startsWith("port ") ? static_cast<std::uint16_t>(line.mid(5).toUInt()) : 0;
  }
  QProcess process;
};

TEST(PrometheusTest, ScrapesTheTemperaturesOfTwoFurnaces) {
  Program a("KilnA", "137.5"), b("KilnB", "421.3");
  const std::uint16_t portA = a.Port(), portB = b.Port();
  ASSERT_NE(portA, 0);
  ASSERT_NE(portB, 0);

  QTemporaryDir dir;
  QFile config(dir.filePath(QStringLiteral("prometheus.yml")));
  ASSERT_TRUE(config.open(QIODevice::WriteOnly));
  config.write(QStringLiteral("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                              "scrape_configs:\n  - job_name: karvo\n    static_configs:\n"
                              "      - targets: ['127.0.0.1:%1', '127.0.0.1:%2']\n")
                   .arg(portA)
                   .arg(portB)
                   .toUtf8());
  config.close();
  const std::uint16_t prometheusPort = FreePort();
  QProcess prometheus;
  prometheus.setProcessChannelMode(QProcess::MergedChannels);
  prometheus.start(QStringLiteral(KARVO_PROMETHEUS),
                   {QStringLiteral("--config.file=") + config.fileName(),
                    QStringLiteral("--storage.tsdb.path=") + dir.filePath(QStringLiteral("data")),
                    QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(prometheusPort)});
  ASSERT_TRUE(prometheus.waitForStarted(10000));

  // Both furnaces, once both programs have consumed a poll and been scraped.
  std::map<QString, double> scraped;
  const bool both = WaitFor(
      [&] {
        const auto [status, body] = StatusAndBody(
            Exchange(prometheusPort, "GET /api/v1/query?query=karvo_temperature_celsius HTTP/1.1\r\nHost: x\r\n\r\n"));
        if (status != 200) return false;
        scraped.clear();
        for (const QJsonValue r :
             QJsonDocument::fromJson(body).object()[QStringLiteral("data")][QStringLiteral("result")].toArray()) {
          const QJsonObject o = r.toObject();
          scraped[o[QStringLiteral("metric")][QStringLiteral("furnace")].toString()] =
              o[QStringLiteral("value")].toArray()[1].toString().toDouble();
        }
        return scraped.size() == 2;
      },
      90000);
  prometheus.kill();
  prometheus.waitForFinished(5000);
  if (!both) std::fprintf(stderr, "%s\n", prometheus.readAll().constData());
  ASSERT_TRUE(both);
  EXPECT_NEAR(scraped[QStringLiteral("KilnA")], 137.5, 0.05);
  EXPECT_NEAR(scraped[QStringLiteral("KilnB")], 421.3, 0.05);
  // Exactly as each program reports it itself.
  for (const auto& [port, furnace] : {std::pair{portA, "KilnA"}, std::pair{portB, "KilnB"}}) {
    const QJsonObject json =
        QJsonDocument::fromJson(StatusAndBody(Exchange(port, "GET /status.json HTTP/1.1\r\nHost: x\r\n\r\n")).second)
            .object();
    EXPECT_EQ(json[QStringLiteral("furnace_name")].toString(), QString::fromLatin1(furnace));
    EXPECT_EQ(json[QStringLiteral("temperature_c")].toDouble(), scraped[QString::fromLatin1(furnace)]) << furnace;
  }
}

}  // namespace
}  // namespace karvo

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
