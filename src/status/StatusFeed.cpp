// Snapshots of the window for the status server, and the page's chart.
#include "status/StatusFeed.h"

#include <QBoxLayout>
#include <QBuffer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>

#include "common/Attention.h"
#include "common/Log.h"
#include "common/Regional.h"
#include "common/Seams.h"
#include "common/Text.h"
#include "supervisor/logic/CrashReport.h"

namespace karvo {

namespace {

std::string Utf8(const QString& s) { return s.toUtf8().toStdString(); }

TStatusLampState LampState(const TLedLamp& lamp) {
  if (!lamp.Value()) return TStatusLampState::Off;
  return lamp.Blink() && lamp.Interval() > 0 ? TStatusLampState::Blinking : TStatusLampState::On;
}

}  // namespace

TStatusChart::TStatusChart(const TMeasurements& data)
    : fGraph(std::make_unique<TRtGraph2D>()), fX(Regional()), fY(Regional()) {
  TRtGraph2D& g = *fGraph;
  g.BeginUpdate();
  g.CaptionVisible = false;
  g.DataAreaFrameVisible = true;
  g.XGridVisible = g.YGridVisible = true;
  g.Zoom.Auto = false;
  for (TRtAxis* a : {&fX, &fY}) {
    a->NumbersVisible = true;
    a->AxisLineColor = a->TickColor = a->MajorTickColor = 0xFF000000;
    a->NumbersColor = 0xFF00008B;
    a->CaptionColor = 0xFF8B0000;
    a->TickLength = 6.0;
    a->MajorTickLength = 10.0;
  }
  fX.Caption = "Time and date";
  fX.SetScaling(TRtAxisScaling::DateTime);
  fX.SetPosition(TRtAxisPosition::Bottom);
  fY.Caption =
      "Temperature, \xC2\xBA"
      "C";
  fY.SetPosition(TRtAxisPosition::Left);
  fY.SetStartEnd(TRtAxisEnd::AutoRange);
  fY.SetStopEnd(TRtAxisEnd::AutoRange);
  g.AddAxis(&fX);
  g.AddAxis(&fY);
  g.PrimaryXAxis = &fX;
  g.PrimaryYAxis = &fY;
  AttachSeries(fTarget, g, "Target setpoint", true, data.RtDoubleVectorTime, data.RtDoubleVectorSetpoint, fX, fY,
               0xFF707070, 1.5, 0);
  AttachSeries(fWorking, g, "Working setpoint", true, data.RtDoubleVectorTime, data.RtDoubleVectorWorkingSetpoint, fX,
               fY, 0xFF0066CC, 1.5, 1);
  AttachSeries(fTemperature, g, "Temperature", true, data.RtDoubleVectorTime, data.RtDoubleVectorTemperature, fX, fY,
               0xFFFF0000, 2.5, 2);
  g.resize(kWidth, kHeight);
  g.EndUpdate();
}

TStatusChart::~TStatusChart() = default;

std::string TStatusChart::RenderPng(TStatusChartRange range) {
  // The last hour or 8 hours up to the newest sample; all of them.
  const TRtDoubleVector& time = *fTemperature.XData();
  if (range == TStatusChartRange::All || time.Count() == 0) {
    fX.SetStartEnd(TRtAxisEnd::AutoRange);
    fX.SetStopEnd(TRtAxisEnd::AutoRange);
  } else {
    const double last = time[time.Count() - 1];
    fX.SetStartEnd(TRtAxisEnd::Fixed);
    fX.SetStopEnd(TRtAxisEnd::Fixed);
    fX.SetStart(last - (range == TStatusChartRange::Hour ? 1.0 : 8.0) / kHoursPerDay);
    fX.SetStop(last);
  }
  const QImage image = fGraph->RenderImage(0xFFFFFF, true);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

TStatusFeed::TStatusFeed(TFormModbus& form, TStatusServer& server)
    : fForm(form), fServer(server), fChart(form.Supervisor->Measurements()) {
  fServer.SetChartMissingHandler([this](TStatusChartRange) {
    // On the server's thread: one drawing queued at a time.
    if (!fDrawQueued.exchange(true))
      QMetaObject::invokeMethod(
          this, [this] { DrawCharts(); }, Qt::QueuedConnection);
  });
  fIdleTimer.setInterval(static_cast<int>(kInitialIntervalMs));
  QObject::connect(&fIdleTimer, &QTimer::timeout, this, [this] {
    if (!fForm.Timer1->isActive() || fForm.PageControl1->currentIndex() == static_cast<int>(TPageIndex::Debug) ||
        (fForm.FurnaceModule() != nullptr) != fModuleSeen)
      Publish();
  });
  fIdleTimer.start();
  Publish();
}

TStatusFeed::~TStatusFeed() { fServer.SetChartMissingHandler(nullptr); }

void TStatusFeed::TickShown(const TTickOutcome& out) {
  switch (out.Kind) {
    case TTickKind::Consumed:
      ++fConsumed;
      fLast = out.Consumed;
      fLastKind = out.Kind;
      break;
    case TTickKind::PollFailed:
    case TTickKind::SensorBreak:
      ++fFailed;
      fLastKind = out.Kind;
      break;
    default:
      break;
  }
  if (out.Display.RateOfChange) fRateOfChange = out.Display.RateOfChange;
  Publish();
}

std::shared_ptr<TStatusSnapshot> TStatusFeed::Build() {
  auto s = std::make_shared<TStatusSnapshot>();
  const TDateTime now = UtcNow();
  s->Sequence = ++fSequence;
  s->PublishedUtc = now;
  s->PollIntervalMs = fForm.Supervisor->State.IntervalMs;
  s->FurnaceName = Utf8(QString::fromStdWString(fForm.SavedFurnaceName()));
  TFurnaceModule* module = fForm.FurnaceModule();
  if (module && !fModuleSeen) {  // a new Start: the last run's values are not this one's
    fLast.reset();
    fRateOfChange.reset();
    fLastKind = TTickKind::Idle;
  }
  fModuleSeen = module != nullptr;
  if (!module)
    s->Connection = "stopped";
  else if (fLastKind == TTickKind::PollFailed)
    s->Connection = "poll failed";
  else if (fLastKind == TTickKind::SensorBreak)
    s->Connection = "sensor break";
  else if (fLast)
    s->Connection = "connected";
  else
    s->Connection = "connecting";
  if (module && fLast) {
    const TFurnaceReadRecord& r = *fLast;
    s->Temperature = r.Temperature;
    s->TargetSetpoint = r.TargetSetpoint;
    s->WorkingSetpoint = r.WorkingSetpoint;
    s->RampRate = r.RampRate;
    s->OutputPowerLimit = r.MaxOutputPowerActual / 10.0;
    s->WorkingOutput = r.WorkingOutput / 10.0;
    s->LastPollUtc = r.ReadtimeUtc;
    s->RateOfChange = fRateOfChange;
  }
  const TLedLamp* lamps[] = {fForm.LedOscilation, fForm.LedSlope, fForm.LedTime};
  for (std::size_t i = 0; i < 3; ++i) s->Lamps[i].State = LampState(*lamps[i]);
  s->StableTime = Utf8(fForm.Label10->text());
  if (const TDateTime since = fForm.Supervisor->State.StableSince; since != 0.0)
    s->StableSeconds = std::max(0.0, std::round((now - since) * kSecondsPerDay));
  if (module) s->Segment = module->InstructionsCurrentSegment();
  for (const QString& line : fForm.MemoInstructions->toPlainText().split(QLatin1Char('\n')))
    s->ProgramTable.push_back(Utf8(line));
  std::vector<std::string> log = RecentLogLines().Lines();
  const std::size_t from = log.size() > kLogLines ? log.size() - kLogLines : 0;
  for (std::size_t i = from; i < log.size(); ++i) s->LogLines.push_back(log[i]);
  s->PollsConsumed = fConsumed;
  s->PollsFailed = fFailed;
  if (fForm.Supervisor->Journal.IsOpen())
    s->JournalWaiting = fForm.Supervisor->Journal.QueuedSamples() + fForm.Supervisor->Journal.WaitingSamples();
  return s;
}

void TStatusFeed::Publish() {
  std::shared_ptr<TStatusSnapshot> s = Build();
  // The charts of the last drawing answer until this tick's are drawn.
  bool wanted = false;
  for (std::size_t i = 0; i < kStatusChartRanges; ++i) {
    if (!fServer.ChartWanted(static_cast<TStatusChartRange>(i))) continue;
    wanted = true;
    if (fPublished) s->ChartPng[i] = fPublished->ChartPng[i];
  }
  fPublished = s;
  fServer.Publish(std::move(s));
  if (wanted && !fDrawQueued.exchange(true))
    QMetaObject::invokeMethod(
        this, [this] { DrawCharts(); }, Qt::QueuedConnection);
}

void TStatusFeed::DrawCharts() {
  fDrawQueued = false;
  if (!fPublished) return;
  auto s = std::make_shared<TStatusSnapshot>(*fPublished);
  s->Sequence = ++fSequence;  // the page fetches the new charts
  for (std::size_t i = 0; i < kStatusChartRanges; ++i) {
    const auto range = static_cast<TStatusChartRange>(i);
    s->ChartPng[i] =
        fServer.ChartWanted(range) ? std::make_shared<const std::string>(fChart.RenderPng(range)) : nullptr;
  }
  fPublished = s;
  fServer.Publish(std::move(s));
}

}  // namespace karvo

namespace karvo {

TStatusService::TStatusService(TFormModbus& form, const std::vector<std::string>& args) : fForm(form) {
  TStatusConfigRead read = LoadStatusOptions(args);
  std::string problems;
  for (const std::string& e : read.Errors) {
    LogLine("Status server: " + e);
    problems += (problems.empty() ? "" : "; ") + e;
  }
  if (read.Options.Port) {
    fServer = std::make_unique<TStatusServer>();
    const std::string error = fServer->Start(read.Options);
    if (!error.empty()) {
      LogLine("Status server: " + error);
      problems += (problems.empty() ? "" : "; ") + error;
      fServer.reset();
    }
  }
  if (!problems.empty()) RaiseAttention(kAttentionKey, "Status server: " + problems);
  if (!fServer) return;
  const bool token = !read.Options.Token.empty();
  const std::string where = fServer->Url() + (token ? " (with the token of " + StatusConfigPath().string() + ")" : "");
  LogLine("Status page: " + where);
  auto* label = new QLabel(QString::fromStdString("Status page: " + where), form.About);
  label->setObjectName(QStringLiteral("LabelStatusUrl"));
  label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  if (auto* column = qobject_cast<QBoxLayout*>(form.About->layout())) column->insertWidget(column->count() - 1, label);
  fFeed = std::make_unique<TStatusFeed>(form, *fServer);
  form.TickShown = [feed = fFeed.get()](const TTickOutcome& out) { feed->TickShown(out); };
}

TStatusService::~TStatusService() {
  fForm.TickShown = nullptr;
  fFeed.reset();
  fServer.reset();
}

}  // namespace karvo
