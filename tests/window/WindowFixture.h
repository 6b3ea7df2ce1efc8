#pragma once
// The real main window on the offscreen platform, with the simulated
// controller on a pseudo-terminal linked as COM9 in a temporary port map, a
// temporary state folder for the log files, the Qt seams of the program
// (user-interface invoke and the queueing log sink), and the dialogs and
// pauses answered and recorded by the test.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/QtSeams.h"
#include "common/Seams.h"
#include "furnace/ReadCycle.h"
#include "serial/SerialPort.h"
#include "sim/ComLink.h"
#include "supervisor/window/frmFurnaceModule.h"

namespace karvo::test {

inline sim::SimOptions StandingFurnace() {
  sim::SimOptions o;
  o.Seed = 7;
  o.Speed = 0.0;  // values read are values set
  o.StartTemperature = 137.0;
  return o;
}

// While it lives, ports made look for a reply every `ms` instead of every
// 200 ms. The window tests check what the program does with the values and
// when it asks for them, not the line's pace, which the transport's and the
// simulator's own tests check at the program's real pause. 50 ms still lets
// a reply found at one look arrive whole before it is read, however the
// simulator's thread is scheduled on a busy machine (a reply read while it
// arrives would end at the first pause in it longer than the read's
// interval limit).
class ScopedReadLoopPause {
 public:
  explicit ScopedReadLoopPause(std::uint32_t ms) : previous_(TSerialPort::SetDefaultWindowsReadLoopTimeoutMS(ms)) {}
  ~ScopedReadLoopPause() { TSerialPort::SetDefaultWindowsReadLoopTimeoutMS(previous_); }
  ScopedReadLoopPause(const ScopedReadLoopPause&) = delete;
  ScopedReadLoopPause& operator=(const ScopedReadLoopPause&) = delete;

 private:
  std::uint32_t previous_;
};

class WindowTest : public ::testing::Test {
 protected:
  explicit WindowTest(sim::SimOptions options = StandingFurnace()) : sim_(options) {
    ReadResult = {};
    form = std::make_unique<TFormModbus>();
    timerActiveAtCreation = form->Timer1->isActive();
    qtSeams_.AttachWindow(*form);
    form->show();
    WaitForStartupReading();
  }
  ~WindowTest() override { Close(); }

  sim::SimController& Sim() { return sim_.Sim(); }

  // Runs the events waiting for the user-interface thread.
  static void Pump() { QCoreApplication::processEvents(QEventLoop::AllEvents, 50); }
  // Runs events until Done() holds or LimitMs have passed.
  template <class Pred>
  static bool WaitFor(Pred Done, int LimitMs = 20000) {
    QElapsedTimer t;
    t.start();
    while (!Done()) {
      if (t.elapsed() > LimitMs) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      QThread::msleep(2);
    }
    return true;
  }

  // The window was shown: Start waits until the runs that ended
  // unexpectedly have been looked through (and answered).
  void WaitForStartupReading() {
    Pump();
    ASSERT_TRUE(WaitFor([this] { return form->ButtonCreateFurnaceModule->isEnabled(); }));
  }

  // MemoLog's lines, once the queued ones have arrived.
  QStringList Log() {
    Pump();
    qtSeams_.LogQueue().Drain();
    return form->MemoLog->toPlainText().split(QLatin1Char('\n'));
  }
  // True when `expected` stands in the log as consecutive lines.
  bool LogHasRun(const QStringList& expected) {
    const QStringList log = Log();
    for (qsizetype i = 0; i + expected.size() <= log.size(); ++i)
      if (log.mid(i, expected.size()) == expected) return true;
    return false;
  }

  void SelectPort(const char* name) {
    form->ComboBoxModbusPort->setCurrentIndex(form->ComboBoxModbusPort->findText(QString::fromLatin1(name)));
  }
  // Picks COM9 and presses Start; the tick is then driven by the test.
  void Connect() {
    SelectPort("COM9");
    form->ButtonCreateFurnaceModule->click();
    ASSERT_EQ(form->ButtonCreateFurnaceModule->text(), QStringLiteral("Stop"));
    form->Timer1->stop();
  }
  // A tick that starts a poll, the poll's hand-off, and the tick that
  // consumes its record.
  void PollAndConsume() {
    // The test drives the tick: a timer that a confirmed write of the last
    // tick started again must not tick in between while the poll is awaited
    // (on a busy machine the wait can outlast its interval).
    form->Timer1->stop();
    form->Timer1Timer();
    ASSERT_TRUE(WaitFor([] { return ReadResult.Valid && PollsInFlight() == 0; }));
    form->Timer1Timer();
  }
  void Close() {
    if (!form) return;
    form->close();
    form.reset();
    Pump();
  }

  ScopedReadLoopPause readLoop_{50};
  sim::ScopedStateHome state_;
  sim::SimOnComPort sim_;
  std::mutex m_;
  std::vector<std::string> messages;
  std::vector<std::string> errorReports;
  bool saveReports = false;
  std::vector<std::uint32_t> pauses;
  seams::Scoped<seams::MessageFn> message_{seams::SetMessage, [this](const std::string& t) {
                                             std::lock_guard lock(m_);
                                             messages.push_back(t);
                                           }};
  seams::Scoped<seams::QuestionFn> errorReport_{seams::SetErrorReport, [this](const std::string& t) {
                                                  errorReports.push_back(t);
                                                  return saveReports;
                                                }};
  seams::Scoped<seams::PauseFn> pause_{seams::SetPause, [this](std::uint32_t ms) {
                                         std::lock_guard lock(m_);
                                         pauses.push_back(ms);
                                       }};
  TQtSeams qtSeams_{nullptr, /*dialogs=*/false};
  std::unique_ptr<TFormModbus> form;
  bool timerActiveAtCreation = false;
};

}  // namespace karvo::test
