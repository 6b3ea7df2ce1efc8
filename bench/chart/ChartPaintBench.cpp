// One full repaint of the main window's chart, 1484 x 474, with four
// visible series, and the same data painted by QCustomPlot and Qt Charts
// (when installed) as references. Each painter paints the chart once per
// iteration into a 32-bit image, with its own fast path on:
// - TRtGraph2D: PaintChart into the image (dense columns as bands);
// - QCustomPlot: adaptive sampling on (its default, set explicitly),
//   antialiased as ours, toPainter into the image (no replot into its own
//   buffer besides);
// - Qt Charts: QLineSeries without OpenGL (the only accelerated path needs
//   a GPU), no animations, the chart's scene rendered into the image.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <memory>
#include <vector>

#include "ChartData.h"
#include "ShowAllSeries.h"
#include "chart/RtGraph2D.h"
#include "supervisor/mainchart/RtMainChart.h"

#ifdef KARVO_BENCH_QCUSTOMPLOT
#include <qcustomplot.h>
#endif
#ifdef KARVO_BENCH_QTCHARTS
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#endif

namespace karvo {
namespace {

constexpr int kWidth = 1484, kHeight = 474;

// The data, generated once per size and shared by all painters.
struct Data {
  std::vector<double> v[5];
};
const Data& DataOf(long n) {
  static std::unique_ptr<Data> data;
  static long size = -1;
  if (size != n) {
    data = std::make_unique<Data>();
    bench::SampleSource source;
    double s[5];
    for (auto& vec : data->v) vec.reserve(static_cast<std::size_t>(n));
    for (long i = 0; i < n; ++i) {
      source.Next(s);
      for (int k = 0; k < 5; ++k) data->v[k].push_back(s[k]);
    }
    size = n;
  }
  return *data;
}

// The main window's chart filled with the first n samples; with
// `backAt` > 0 the clock goes back an hour at that sample (every later time
// stamp an hour earlier), as when the operator sets the system clock back.
void RepaintChart(benchmark::State& state, long backAt) {
  const long n = state.range(0);
  const Data& d = DataOf(n);
  auto graph = std::make_unique<TRtGraph2D>();
  graph->resize(kWidth + graph->VerticalScrollBarWidth(), kHeight);
  auto chart = std::make_unique<TStandaloneChart>(*graph, TRegionalSettings{});
  ShowAllSeries(*chart);
  for (long i = 0; i < n; ++i) {
    const auto k = static_cast<std::size_t>(i);
    chart->AddSample(d.v[0][k] - (backAt > 0 && i >= backAt ? 1.0 / 24 : 0.0), d.v[1][k], d.v[2][k], d.v[3][k],
                     d.v[4][k]);
  }
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  {
    QPainter p(&image);
    graph->PaintChart(p, image.size());  // first paint: ranges settle
  }
  for (auto _ : state) {
    QPainter p(&image);
    graph->PaintChart(p, image.size());
  }
  chart.reset();
}

void BM_RtGraph2DRepaint(benchmark::State& state) { RepaintChart(state, 0); }
// 1000 samples: under one a pixel column (the first hours of a run), drawn
// from exact polylines rather than bands.
BENCHMARK(BM_RtGraph2DRepaint)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond);

// The same with the clock set back an hour in the middle of the run: two
// runs drawn one by one.
void BM_RtGraph2DRepaintTimeStepBack(benchmark::State& state) { RepaintChart(state, state.range(0) / 2); }
BENCHMARK(BM_RtGraph2DRepaintTimeStepBack)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond);

#ifdef KARVO_BENCH_QCUSTOMPLOT
void BM_QCustomPlotRepaint(benchmark::State& state) {
  const long n = state.range(0);
  const Data& d = DataOf(n);
  QCustomPlot plot;
  plot.resize(kWidth, kHeight);
  plot.setAntialiasedElements(QCP::aeAll);
  plot.xAxis->setTicker(QSharedPointer<QCPAxisTickerDateTime>(new QCPAxisTickerDateTime));
  plot.yAxis2->setVisible(true);
  const QColor colours[] = {Qt::red, QColor(0x70, 0x70, 0x70), QColor(0x00, 0x66, 0xCC), QColor(0x60, 0x60, 0x60)};
  const double widths[] = {3, 1, 1, 1};
  for (int g = 0; g < 4; ++g) {
    QCPGraph* graph = plot.addGraph(plot.xAxis, g == 3 ? plot.yAxis : plot.yAxis2);
    graph->setAdaptiveSampling(true);
    graph->setPen(QPen(colours[g], widths[g]));
    if (g == 3) graph->setBrush(QColor(0, 0, 0, 20));
    QVector<double> x(n), y(n);
    for (long i = 0; i < n; ++i) {
      x[i] = (d.v[0][static_cast<std::size_t>(i)] - 25569.0) * 86400.0;
      y[i] = d.v[g + 1][static_cast<std::size_t>(i)];
    }
    graph->setData(x, y, true);
  }
  plot.rescaleAxes();
  plot.replot(QCustomPlot::rpImmediateRefresh);  // lays the plot out once
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  for (auto _ : state) {
    QCPPainter p(&image);
    plot.toPainter(&p, kWidth, kHeight);
  }
}
BENCHMARK(BM_QCustomPlotRepaint)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
#endif

#ifdef KARVO_BENCH_QTCHARTS
void BM_QtChartsRepaint(benchmark::State& state) {
  const long n = state.range(0);
  const Data& d = DataOf(n);
  auto* chart = new QChart;
  auto* x = new QDateTimeAxis;
  auto* y = new QValueAxis;
  auto* y2 = new QValueAxis;
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignRight);
  chart->addAxis(y2, Qt::AlignLeft);
  const QColor colours[] = {Qt::red, QColor(0x70, 0x70, 0x70), QColor(0x00, 0x66, 0xCC), QColor(0x60, 0x60, 0x60)};
  const double widths[] = {3, 1, 1, 1};
  double lo = 1e300, hi = -1e300;
  for (int g = 0; g < 4; ++g) {
    auto* series = new QLineSeries;
    series->setUseOpenGL(false);
    QList<QPointF> points;
    points.reserve(n);
    for (long i = 0; i < n; ++i) {
      const auto k = static_cast<std::size_t>(i);
      points.append(QPointF((d.v[0][k] - 25569.0) * 86400000.0, d.v[g + 1][k]));
      if (g < 3) {
        lo = std::min(lo, d.v[g + 1][k]);
        hi = std::max(hi, d.v[g + 1][k]);
      }
    }
    series->replace(points);
    series->setPen(QPen(colours[g], widths[g]));
    chart->addSeries(series);
    series->attachAxis(x);
    series->attachAxis(g == 3 ? y2 : y);
  }
  x->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>((d.v[0].front() - 25569.0) * 86400000.0)),
              QDateTime::fromMSecsSinceEpoch(static_cast<qint64>((d.v[0].back() - 25569.0) * 86400000.0)));
  y->setRange(lo, hi);
  y2->setRange(0, 100);
  chart->setAnimationOptions(QChart::NoAnimation);
  QChartView view(chart);
  view.setRenderHint(QPainter::Antialiasing);
  view.resize(kWidth, kHeight);
  view.show();
  QApplication::processEvents();
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    chart->scene()->render(&p);
  }
}
BENCHMARK(BM_QtChartsRepaint)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
#endif

}  // namespace
}  // namespace karvo

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
