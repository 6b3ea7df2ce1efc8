#pragma once
// The window's side of the status server: after each tick it takes the
// values the window shows into a new snapshot and publishes it; then, in
// an event of its own, it draws the chart images someone asked for with
// the program's own chart painter (a graph of its own over the window's
// data vectors, off screen) and publishes them. Lives on
// the user-interface thread; the window knows nothing of it beyond the
// TickShown hook.

#include <QObject>
#include <QTimer>
#include <array>
#include <memory>

#include "chart/RtAxis.h"
#include "chart/RtGraph2D.h"
#include "chart/RtSeries.h"
#include "status/StatusServer.h"
#include "supervisor/window/frmFurnaceModule.h"

namespace karvo {

// The chart of the status page: the measured temperature and both setpoints
// over the run's measurements, at a fixed size.
class TStatusChart {
 public:
  static constexpr int kWidth = 960;
  static constexpr int kHeight = 420;
  explicit TStatusChart(const TMeasurements& data);
  ~TStatusChart();
  TStatusChart(const TStatusChart&) = delete;
  TStatusChart& operator=(const TStatusChart&) = delete;
  // The PNG image of `range`.
  std::string RenderPng(TStatusChartRange range);

 private:
  std::unique_ptr<TRtGraph2D> fGraph;
  TRtAxis fX, fY;
  TRtLineSeries fTarget{"StatusTargetSetpoint"};
  TRtLineSeries fWorking{"StatusWorkingSetpoint"};
  TRtPointSeries fTemperature{"StatusTemperature"};
};

class TStatusFeed : public QObject {
 public:
  // Feeds `server` from `form` (both must outlive the feed) and publishes
  // the first snapshot.
  TStatusFeed(TFormModbus& form, TStatusServer& server);
  ~TStatusFeed() override;

  // After each tick (the window's TickShown).
  void TickShown(const TTickOutcome& outcome);
  // Builds and publishes the snapshot of now (with the charts of the last
  // drawing) and queues the drawing of the charts asked for.
  void Publish();
  // Draws the charts asked for and publishes them with the last snapshot
  // (queued after a tick, so that the tick itself never waits for them).
  void DrawCharts();
  // How many of the newest log lines the page shows.
  static constexpr std::size_t kLogLines = 60;

 private:
  std::shared_ptr<TStatusSnapshot> Build();

  TFormModbus& fForm;
  TStatusServer& fServer;
  TStatusChart fChart;
  QTimer fIdleTimer;  // publishes while no tick runs (stopped, "Debug" page)
  std::optional<TFurnaceReadRecord> fLast;
  std::optional<double> fRateOfChange;
  TTickKind fLastKind = TTickKind::Idle;
  bool fModuleSeen = false;
  std::uint64_t fSequence = 0, fConsumed = 0, fFailed = 0;
  std::shared_ptr<const TStatusSnapshot> fPublished;
  std::atomic<bool> fDrawQueued{false};
};

}  // namespace karvo

namespace karvo {

// The status server as the program runs it: reads the settings (file and
// `args`), starts the server when a port is set, feeds it from `form`,
// writes the address to the log and onto the "About" page, and writes and
// raises what went wrong. Must go before the window.
class TStatusService {
 public:
  TStatusService(TFormModbus& form, const std::vector<std::string>& args);
  ~TStatusService();
  TStatusService(const TStatusService&) = delete;
  TStatusService& operator=(const TStatusService&) = delete;

  // Null while the server is off.
  TStatusServer* Server() const { return fServer.get(); }
  static constexpr const char* kAttentionKey = "status-server";

 private:
  TFormModbus& fForm;
  std::unique_ptr<TStatusServer> fServer;
  std::unique_ptr<TStatusFeed> fFeed;
};

}  // namespace karvo
