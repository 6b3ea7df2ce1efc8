// The main window: creation, the regions and their splitters, the event
// bindings, the close.
#include "supervisor/window/frmFurnaceModule.h"
#include "supervisor/window/WindowAccessibility.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <cmath>
#include <string>
#include <utility>

#include "common/Attention.h"
#include "common/Log.h"
#include "common/Regional.h"
#include "common/Seams.h"
#include "supervisor/logic/CrashReport.h"
#include "supervisor/logic/Formats.h"
#include "supervisor/logic/RunJournal.h"
#include "supervisor/logic/WindowTitle.h"
#include "supervisor/window/frmFurnaceModuleLayout.h"

namespace karvo {

const char* const TFormModbus::kUpdatePage = "https://karvotemp.talvik.example/update";

namespace {

// Tahoma, where the system lacks it but carries Wine's metric-compatible
// one (Debian: fonts-wine), is taken from there.
void LoadDesignFonts() {
  static const bool loaded = [] {
    if (!QFontDatabase::hasFamily(QStringLiteral("Tahoma"))) {
      for (const char* file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
        if (QFileInfo::exists(QString::fromLatin1(file))) QFontDatabase::addApplicationFont(QString::fromLatin1(file));
    }
    return true;
  }();
  (void)loaded;
}

// The design's fonts, or metric-compatible ones where they are missing.
QFont WindowFont() {
  QFont f;
  f.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
  f.setPointSizeF(8.0);
  return f;
}

QFont MemoFont() {
  QFont f;
  f.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")});
  f.setStyleHint(QFont::Monospace);
  f.setPointSizeF(8.0);
  return f;
}

// The platform's button-highlight colour with a bevel.
constexpr const char* kSplitterStyle =
    "QSplitter::handle { background-color: palette(light); border: 1px outset palette(mid); }";

// Design sizes of the regions at 96 dpi.
constexpr int kUpperPanelHeight = 250;
constexpr int kPanel3Width = 700;
constexpr int kMemoLogWidth = 340;
constexpr int kSplitterWidth = 8;

}  // namespace

TFormModbus::TFormModbus(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("FormModbus"));
  LoadDesignFonts();
  setFont(WindowFont());
  QPalette p = palette();
  p.setColor(QPalette::Window, p.color(QPalette::Button));
  setPalette(p);
  setAutoFillBackground(true);

  BuildRegions();
  Supervisor = std::make_unique<TSupervisor>(*RtGraph2D1, Regional());
  Chart = &Supervisor->Chart();
  // The tick starts its polls through ReadFurnace.
  Supervisor->StartPoll = [this](const std::string&) {
    ReadFurnace();
    return true;
  };
  OpenUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(static_cast<int>(kInitialIntervalMs));
  AttentionTimer = new QTimer(this);
  AttentionTimer->setObjectName(QStringLiteral("AttentionTimer"));
  AttentionTimer->setInterval(250);
  connect(AttentionTimer, &QTimer::timeout, this, &TFormModbus::RefreshAttention);
  AttentionTimer->start();
  BindEvents();
  NameControlsForAccessibility(*this);
  resize(Dx(1484), Dx(724));
  FormCreate();
  // Enabled from the start; a tick does nothing until a furnace is operated.
  Timer1->start();
}

TFormModbus::~TFormModbus() = default;

void TFormModbus::RefreshAttention() {
  const std::uint64_t generation = AttentionGeneration();
  if (generation == fAttentionShown) return;
  fAttentionShown = generation;
  QStringList lines;
  for (const TAttentionItem& item : AttentionItems()) lines << QString::fromStdString(item.Text);
  LabelAttention->setText(lines.join(QLatin1Char('\n')));
  LabelAttention->setVisible(!lines.isEmpty());
}

int TFormModbus::Dx(int designPixels) const {
  // The design is for an 8 pt font at 96 dpi.
  const double scale = font().pointSizeF() / 8.0 * logicalDpiY() / 96.0;
  return static_cast<int>(std::lround(designPixels * scale));
}

std::wstring TFormModbus::SavedFurnaceName() const { return FurnaceNameFromTitle(windowTitle().toStdWString()); }

void TFormModbus::BuildRegions() {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  KARVO_MAKE(Splitter2, QSplitter, this, Qt::Vertical);
  outer->addWidget(Splitter2);

  KARVO_MAKE(Panel1, QFrame, Splitter2);
  auto* upper = new QHBoxLayout(Panel1);
  upper->setContentsMargins(0, 0, 0, 0);
  KARVO_MAKE(Splitter1, QSplitter, Panel1, Qt::Horizontal);
  upper->addWidget(Splitter1);

  KARVO_MAKE(Panel2, QFrame, Splitter1);
  auto* left = new QGridLayout(Panel2);
  left->setContentsMargins(Dx(3), Dx(2), 0, 0);
  left->setHorizontalSpacing(Dx(2));
  left->setVerticalSpacing(Dx(6));
  left->addWidget(BuildSetupBox(Panel2), 0, 0);
  left->addWidget(BuildStatusBox(Panel2), 1, 0);
  BuildPages();
  left->addWidget(PageControl1, 0, 1, 2, 1);
  left->setRowStretch(1, 1);
  left->setColumnStretch(1, 1);

  KARVO_MAKE(Panel3, QFrame, Splitter1);
  Panel3->setFrameShape(QFrame::NoFrame);
  auto* right = new QVBoxLayout(Panel3);
  right->setContentsMargins(0, 0, 0, 0);
  right->setSpacing(0);
  KARVO_MAKE(LabelAttention, QLabel, Panel3);
  LabelAttention->setWordWrap(true);
  LabelAttention->setTextFormat(Qt::PlainText);
  LabelAttention->setStyleSheet(QStringLiteral("QLabel { background: #fff2a8; color: #8b0000; padding: 3px; }"));
  LabelAttention->hide();
  right->addWidget(LabelAttention);
  KARVO_MAKE(ProgressBarJournal, QProgressBar, Panel3);
  ProgressBarJournal->setTextVisible(true);
  ProgressBarJournal->hide();
  right->addWidget(ProgressBarJournal);
  KARVO_MAKE(Splitter3, QSplitter, Panel3, Qt::Horizontal);
  right->addWidget(Splitter3, 1);
  KARVO_MAKE(MemoInstructions, QPlainTextEdit, Splitter3);
  KARVO_MAKE(MemoLog, TLogView, Splitter3);
  MemoInstructions->setFont(MemoFont());
  MemoInstructions->setLineWrapMode(QPlainTextEdit::NoWrap);
  MemoInstructions->setReadOnly(true);
  MemoInstructions->setPlainText(QStringLiteral("Instructions"));
  MemoLog->setFont(MemoFont());
  MemoLog->SetLines({QStringLiteral("Program log")});
  MemoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MemoLog->SetMaximumLineCount(kMemoLogLines);

  KARVO_MAKE(RtGraph2D1, TRtGraph2D, Splitter2);

  for (QSplitter* s : {Splitter1, Splitter2, Splitter3}) {
    s->setHandleWidth(Dx(kSplitterWidth));
    s->setChildrenCollapsible(false);
    s->setStyleSheet(QString::fromLatin1(kSplitterStyle));
  }
  // The chart, the pages and the instructions take what the window gains.
  Splitter2->setStretchFactor(0, 0);
  Splitter2->setStretchFactor(1, 1);
  Splitter1->setStretchFactor(0, 1);
  Splitter1->setStretchFactor(1, 0);
  Splitter3->setStretchFactor(0, 1);
  Splitter3->setStretchFactor(1, 0);
  const QSplitter* splitters[] = {Splitter1, Splitter2, Splitter3};
  for (int i = 0; i < 3; ++i)
    connect(splitters[i], &QSplitter::splitterMoved, this, [this, i] { fSplitterMoved[i] = true; });
}

void TFormModbus::ApplyDesignSizes() {
  // The design's sizes until the operator drags a splitter; from then on
  // the splitters keep what the operator chose.
  const int handle = Dx(kSplitterWidth);
  if (!fSplitterMoved[1]) {
    const int total = Splitter2->height() - handle;
    const int upper = std::max(Dx(kUpperPanelHeight), Panel1->minimumSizeHint().height());
    Splitter2->setSizes({upper, std::max(0, total - upper)});
  }
  if (!fSplitterMoved[0]) {
    // Panel2 gets at least what its controls need in this font.
    const int total = Splitter1->width() - handle;
    const int panel2 = std::max(total - Dx(kPanel3Width), Panel2->minimumSizeHint().width());
    Splitter1->setSizes({panel2, std::max(0, total - panel2)});
  }
  if (!fSplitterMoved[2]) {
    const int total = Splitter3->width() - handle;
    Splitter3->setSizes({std::max(0, total - Dx(kMemoLogWidth)), Dx(kMemoLogWidth)});
  }
}

void TFormModbus::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (isVisible()) ApplyDesignSizes();
}

void TFormModbus::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The regions have their real sizes once the layout has run.
  if (layout()) layout()->activate();
  ApplyDesignSizes();
  // The question about an unexpectedly ended run comes over the window.
  if (!std::exchange(fShown, true)) QTimer::singleShot(0, this, [this] { Guarded([this] { OfferPreviousRun(); }); });
}

namespace {
// Counts a handler under way for as long as it runs.
struct THandlerUnderWay {
  explicit THandlerUnderWay(int& count) : n(count) { ++n; }
  ~THandlerUnderWay() { --n; }
  THandlerUnderWay(const THandlerUnderWay&) = delete;
  THandlerUnderWay& operator=(const THandlerUnderWay&) = delete;
  int& n;
};
}  // namespace

void TFormModbus::Guarded(const std::function<void()>& handler) {
  const THandlerUnderWay underWay(fHandlers);
  try {
    handler();
  } catch (const std::exception& e) {
    ReportActionError(e.what());
  } catch (...) {
    ReportActionError("unknown error");
  }
}

void TFormModbus::GuardedTick() {
  std::string error;
  try {
    const THandlerUnderWay underWay(fHandlers);
    Timer1Timer();
    return;
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "unknown error";
  }
  LogLine();
  LogLine("The tick ended by an error: " + error);
  // A dialog opened here would hold Timer1 until it is answered: polling
  // and the segment program would stand still. Later errors while the
  // report is shown are in the log.
  if (std::exchange(fTickReportShown, true)) return;
  QTimer::singleShot(0, this, [this, error] {
    const auto shown = qScopeGuard([this] { fTickReportShown = false; });
    ReportActionError(error);
  });
}

void TFormModbus::BindEvents() {
  auto on = [this](auto* sender, auto signal, void (TFormModbus::*handler)()) {
    connect(sender, signal, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
  };
  connect(Timer1, &QTimer::timeout, this, &TFormModbus::GuardedTick);
  on(ButtonCreateFurnaceModule, &QPushButton::clicked, &TFormModbus::ButtonCreateFurnaceModuleClick);
  on(PageControl1, &QTabWidget::currentChanged, &TFormModbus::PageControl1Change);
  on(ButtonUpdateQuick, &QPushButton::clicked, &TFormModbus::ButtonUpdateQuickClick);
  on(ButtonFurnaceNameSave, &QPushButton::clicked, &TFormModbus::ButtonFurnaceNameSaveClick);
  on(ButtonInstructionsSave, &QPushButton::clicked, &TFormModbus::ButtonInstructionsSaveClick);
  on(ButtonInstructionsDelete, &QPushButton::clicked, &TFormModbus::ButtonInstructionsDeleteClick);
  for (TRtIntegerEdit* box : {RtIntegerEditProgramSegment, RtIntegerEditProgramSetpoint, RtIntegerEditProgramRampRate,
                              RtIntegerEditProgramDays, RtIntegerEditProgramHours, RtIntegerEditProgramMinutes}) {
    connect(box, &TRtIntegerEdit::OnClick, this,
            [this, box] { Guarded([this, box] { RtIntegerEditProgramSegmentClick(box); }); });
    connect(box, &TRtIntegerEdit::OnKeyDown, this,
            [this](int key) { Guarded([this, key] { RtIntegerEditProgramSegmentKeyDown(key); }); });
    connect(box, &TRtIntegerEdit::OnKeyUp, this,
            [this, box](int key) { Guarded([this, box, key] { RtIntegerEditProgramRampRateKeyUp(box, key); }); });
  }
  for (TRtIntegerEdit* box :
       {RtIntegerEditStableTemperature, RtIntegerEditStableSlopeTime, RtIntegerEditMinimumSteadyTime})
    on(box, &TRtIntegerEdit::OnValueChanged, &TFormModbus::RtIntegerEditStableSlopeTimeValueChanged);
  on(ButtonSaveGraphBMP, &QPushButton::clicked, &TFormModbus::ButtonSaveGraphBMPClick);
  on(ButtonSaveGraphPNG, &QPushButton::clicked, &TFormModbus::ButtonSaveGraphPNGClick);
  on(ButtonSaveTextFile, &QPushButton::clicked, &TFormModbus::ButtonSaveTextFileClick);
  on(ButtonClearAllData, &QPushButton::clicked, &TFormModbus::ButtonClearAllDataClick);
  // The operator's choice or typing only: setting the item from code runs
  // nothing.
  on(ComboBoxThermocouple, &QComboBox::activated, &TFormModbus::ComboBoxThermocoupleChange);
  on(ComboBoxThermocouple->lineEdit(), &QLineEdit::textEdited, &TFormModbus::ComboBoxThermocoupleChange);
  on(CheckBoxEnableVaryingMaximumOutput, &QCheckBox::clicked, &TFormModbus::CheckBoxEnableVaryingMaximumOutputClick);
  on(ButtonSetProgrammerMode, &QPushButton::clicked, &TFormModbus::ButtonSetProgrammerModeClick);
  on(ButtonProgrammerOff, &QPushButton::clicked, &TFormModbus::ButtonProgrammerOffClick);
  on(ButtonRead, &QPushButton::clicked, &TFormModbus::ButtonReadClick);
  on(ButtonWrite, &QPushButton::clicked, &TFormModbus::ButtonWriteClick);
  on(ButtonSaveFurnaceInfo, &QPushButton::clicked, &TFormModbus::ButtonSaveFurnaceInfoClick);
  on(Label41, &QLabel::linkActivated, &TFormModbus::Label41Click);
}

void TFormModbus::FormCreate() {
  ListComPort();
  ComboBoxThermocouple->setCurrentIndex(0);
  Supervisor->SetRateOfChangeWindow(RtIntegerEditStableSlopeTime->Value());
  Supervisor->State.StableSince = 0.0;
  // The axes keep instants.
  const TDateTime now = UtcNow();
  Chart->XAxis1.SetStart(now - 30.0 / kSecondsPerDay);
  Chart->XAxis1.SetStop(now);
  Chart->YAxis1.SetStart(20);
  Chart->YAxis1.SetStop(50);
  setWindowTitle(QString::fromStdWString(TitleForFurnace(L"Furnace1")));
  // Runs are journaled in the per-user state folder.
  Supervisor->Journal.SetFolder(RunsFolder());
  // The poll record belongs to this window from now on.
  AttachReadResult(ReadResult);
  ReadResult.ActiveThreads = 0;
  Label40->setText(QStringLiteral("Version: ") + QFileInfo(QCoreApplication::applicationFilePath()).fileName());
  PageControl1->setCurrentIndex(static_cast<int>(TPageIndex::QuickControl));
}

void TFormModbus::closeEvent(QCloseEvent* event) {
  if (fClosed) {
    event->accept();
    return;
  }
  // A second request while the close is under way waits for the first.
  if (fClosing) {
    event->ignore();
    return;
  }
  bool canClose = false;
  Guarded([&] { FormCloseQuery(canClose); });
  if (canClose) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TFormModbus::FormCloseQuery(bool& CanClose) {
  fClosing = true;
  const auto done = qScopeGuard([this] { fClosing = false; });
  Timer1->stop();
  // A journal still being read at program start is let go unanswered.
  CloseStep([this] { fLoading.Cancel(); });
  // A step that fails is logged and the close goes on: a close stopped
  // half-way would leave the window open without polling and refuse every
  // later request.
  CloseStep([this] {
    Supervisor->CloseQuery(SavedFurnaceName(), [](const std::exception& e) { ReportActionError(e.what()); });
  });
  CanClose = true;
  // Polls still running hand their records to this window through the user
  // interface thread: let those hand-offs run (they drop themselves) until
  // every poll thread has ended, so none is left to call into a window that
  // is gone.
  CloseStep([] {
    ShutdownReadCycle(kReadCycleShutdownLimitMs,
                      [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
  });
  fClosed = true;
  emit ReadCycleShutDown();
}

void TFormModbus::Label41Click() {
  if (OpenUrl) OpenUrl(QString::fromLatin1(kUpdatePage));
}

}  // namespace karvo
