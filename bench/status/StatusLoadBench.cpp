// BM_ConsumedTickUnderStatusLoad/N: BM_ConsumedTick/N (bench/supervisor)
// with the status server on and fed after every tick, while 100 clients on
// loopback poll /status.json every second and 10 poll /chart.png?hours=1
// (from 10 threads, a connection per request with "Connection: close", as
// polling scripts do: 110 kept-alive connections would be more than the
// server keeps). The load starts
// before the timing and stops by itself at the end (or after two minutes).
// The chart drawing the feed queues after each tick runs outside the timed
// region; its cost is the counter chart_draw_ms. Counters json_p50_ms and
// json_p99_ms: the time from sending a /status.json request to its whole
// answer (the connection included), over the benchmark's run; failures.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "../supervisor/TickBench.h"
#include "app/QtSeams.h"
#include "furnace/ReadCycle.h"
#include "status/StatusFeed.h"
#include "supervisor/window/frmFurnaceModule.h"

namespace {

using namespace karvo;
namespace fs = std::filesystem;

// Reads one whole answer (head and Content-Length body) from a kept-alive
// connection; false on a failure.
bool ReadAnswer(QTcpSocket& s, QByteArray& buffer) {
  for (int waits = 0; waits < 100; ++waits) {
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end >= 0) {
      const qsizetype at = buffer.indexOf("Content-Length: ");
      if (at < 0 || at > end) return false;
      const qsizetype length = buffer.mid(at + 16, buffer.indexOf("\r\n", at) - at - 16).toLongLong();
      if (buffer.size() >= end + 4 + length) {
        const bool ok = buffer.startsWith("HTTP/1.1 200");
        buffer.remove(0, end + 4 + length);
        return ok;
      }
    }
    if (!s.waitForReadyRead(100)) {
      if (s.state() != QAbstractSocket::ConnectedState) return false;
      continue;
    }
    buffer += s.readAll();
  }
  return false;
}

class TLoad {
 public:
  TLoad(std::uint16_t port, int threads, int jsonPerThread, int chartsPerThread) {
    for (int t = 0; t < threads; ++t) fThreads.emplace_back([=, this] { Run(port, jsonPerThread, chartsPerThread); });
  }
  ~TLoad() {
    fStop = true;
    for (std::thread& t : fThreads) t.join();
  }
  std::vector<double> JsonMs() {
    std::lock_guard lock(fMutex);
    return fJsonMs;
  }
  void ClearFigures() {
    std::lock_guard lock(fMutex);
    fJsonMs.clear();
  }
  std::atomic<int> Failures{0};
  std::atomic<int> Requests{0};

 private:
  void Run(std::uint16_t port, int json, int charts) {
    struct Client {
      std::unique_ptr<QTcpSocket> socket;
      QByteArray buffer;
      bool chart;
    };
    std::vector<Client> clients;
    for (int i = 0; i < json + charts; ++i) {
      Client c{std::make_unique<QTcpSocket>(), {}, i >= json};
      c.socket->connectToHost(QStringLiteral("127.0.0.1"), port);
      if (!c.socket->waitForConnected(5000)) ++Failures;
      clients.push_back(std::move(c));
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!fStop && std::chrono::steady_clock::now() < end) {
      const auto round = std::chrono::steady_clock::now();
      for (Client& c : clients) {
        if (fStop) break;
        QElapsedTimer t;
        t.start();
        bool ok = false;
        c.buffer.clear();
        c.socket->abort();
        c.socket->connectToHost(QStringLiteral("127.0.0.1"), port);
        if (c.socket->waitForConnected(1000)) {
          c.socket->write(c.chart ? "GET /chart.png?hours=1 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"
                                  : "GET /status.json HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
          ok = c.socket->waitForBytesWritten(1000) && ReadAnswer(*c.socket, c.buffer);
        }
        ++Requests;
        // A chart not drawn yet (503) is no failure.
        if (!ok && !c.chart) ++Failures;
        if (ok && !c.chart) {
          std::lock_guard lock(fMutex);
          fJsonMs.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        }
      }
      std::this_thread::sleep_until(round + std::chrono::seconds(1));
    }
  }
  std::atomic<bool> fStop{false};
  std::mutex fMutex;
  std::vector<double> fJsonMs;
  std::vector<std::thread> fThreads;
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

void BM_ConsumedTickUnderStatusLoad(benchmark::State& state) {
  bench::TTickBench b(state.range(0));
  TFormModbus& form = b.form;
  TStatusServer server;
  TStatusOptions options;
  options.Port = 0;
  if (const std::string error = server.Start(options); !error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  TStatusFeed feed(form, server);
  form.TickShown = [&feed](const TTickOutcome& out) { feed.TickShown(out); };
  TLoad load(server.Port(), 10, 10, 1);
  // Two seconds of load before the timing: every client connected, the
  // chart asked for and drawn.
  QElapsedTimer warm;
  warm.start();
  while (warm.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  load.ClearFigures();
  double drawMs = 0;
  std::int64_t draws = 0;
  for (auto _ : state) {
    b.ConsumedTick();
    state.PauseTiming();
    QElapsedTimer d;
    d.start();
    QCoreApplication::processEvents();  // the queued chart drawing
    drawMs += static_cast<double>(d.nsecsElapsed()) / 1e6;
    ++draws;
    state.ResumeTiming();
  }
  const std::vector<double> json = load.JsonMs();
  state.counters["json_requests"] = static_cast<double>(json.size());
  state.counters["json_p50_ms"] = Percentile(json, 0.50);
  state.counters["json_p99_ms"] = Percentile(json, 0.99);
  state.counters["chart_draw_ms"] = draws ? drawMs / static_cast<double>(draws) : 0;
  state.counters["failures"] = load.Failures.load();
  state.counters["open_connections"] = server.OpenConnections();
  form.TickShown = nullptr;
}
BENCHMARK(BM_ConsumedTickUnderStatusLoad)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond)->Iterations(1000);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
