#include "common/Seams.h"

#include <chrono>
#include <mutex>
#include <random>
#include <thread>

#include "common/LocalTime.h"
#include "common/Log.h"

namespace karvo {
namespace {

// One installed function per seam, guarded by a mutex; calls take a copy
// under the lock and run it outside, so a slow seam never blocks another
// thread's Set.
template <class Fn>
class Slot {
 public:
  explicit Slot(Fn fallback) : fallback_(std::move(fallback)), fn_(fallback_) {}
  Fn Get() const {
    std::lock_guard lock(mutex_);
    return fn_;
  }
  Fn Set(Fn fn) {
    std::lock_guard lock(mutex_);
    Fn previous = std::move(fn_);
    replaced_ = static_cast<bool>(fn);
    fn_ = fn ? std::move(fn) : fallback_;
    return previous;
  }
  // Changes the default; it takes effect at once unless a replacement is
  // installed.
  void SetFallback(Fn fn) {
    std::lock_guard lock(mutex_);
    fallback_ = std::move(fn);
    if (!replaced_) fn_ = fallback_;
  }

 private:
  mutable std::mutex mutex_;
  Fn fallback_;
  Fn fn_;
  bool replaced_ = false;
};

int DefaultRandom(int lo, int hi) {
  static std::mutex m;
  static std::mt19937 engine(
      static_cast<std::mt19937::result_type>(std::chrono::system_clock::now().time_since_epoch().count()));
  std::lock_guard lock(m);
  return std::uniform_int_distribution<int>(lo, hi)(engine);
}

void DefaultUiInvoke(const std::function<void()>& fn) {
  static std::mutex m;
  std::lock_guard lock(m);
  fn();
}

Slot<seams::NowFn>& NowSlot() {
  static Slot<seams::NowFn> s(seams::SystemUtcNow);
  return s;
}
Slot<seams::PauseFn>& PauseSlot() {
  static Slot<seams::PauseFn> s([](std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
  return s;
}
Slot<seams::RandomFn>& RandomSlot() {
  static Slot<seams::RandomFn> s(DefaultRandom);
  return s;
}
Slot<seams::UiInvokeFn>& UiSlot() {
  static Slot<seams::UiInvokeFn> s(DefaultUiInvoke);
  return s;
}
Slot<seams::MessageFn>& MessageSlot() {
  static Slot<seams::MessageFn> s([](const std::string& text) { LogLine(text); });
  return s;
}
Slot<seams::QuestionFn>& QuestionSlot() {
  static Slot<seams::QuestionFn> s([](const std::string& text) {
    LogLine(text);
    return false;
  });
  return s;
}
Slot<seams::TitledQuestionFn>& TitledQuestionSlot() {
  static Slot<seams::TitledQuestionFn> s([](const std::string& text, const std::string&) { return AskYesNo(text); });
  return s;
}

Slot<seams::SaveDialogFn>& SaveDialogSlot() {
  static Slot<seams::SaveDialogFn> s([](const TSaveDialogOptions& options) {
    LogLine(options.Title);
    return std::string();
  });
  return s;
}
Slot<seams::ListChoiceFn>& ListChoiceSlot() {
  static Slot<seams::ListChoiceFn> s([](const TListChoiceOptions& options) {
    LogLine(options.Text);
    return -1;
  });
  return s;
}
Slot<seams::QuestionFn>& ErrorReportSlot() {
  static Slot<seams::QuestionFn> s([](const std::string& text) {
    LogLine(text);
    return false;
  });
  return s;
}
Slot<seams::ProcessMessagesFn>& ProcessMessagesSlot() {
  static Slot<seams::ProcessMessagesFn> s([] {});
  return s;
}
Slot<seams::BeepFn>& BeepSlot() {
  static Slot<seams::BeepFn> s([] {});
  return s;
}

}  // namespace

TDateTime UtcNow() { return NowSlot().Get()(); }
TDateTime Now() { return UtcToLocal(UtcNow()); }
void PauseMs(std::uint32_t ms) { PauseSlot().Get()(ms); }
int RandomRange(int lo, int hi) { return RandomSlot().Get()(lo, hi); }
void RunOnUiThreadAndWait(const std::function<void()>& fn) { UiSlot().Get()(fn); }
void ShowMessage(const std::string& text) { MessageSlot().Get()(text); }
bool AskYesNo(const std::string& text) { return QuestionSlot().Get()(text); }
bool AskYesNo(const std::string& text, const std::string& title) { return TitledQuestionSlot().Get()(text, title); }
std::string AskSaveFileName(const TSaveDialogOptions& options) { return SaveDialogSlot().Get()(options); }
int AskListChoice(const TListChoiceOptions& options) { return ListChoiceSlot().Get()(options); }
bool AskSaveErrorReport(const std::string& text) { return ErrorReportSlot().Get()(text); }
void ProcessMessages() { ProcessMessagesSlot().Get()(); }
void Beep() { BeepSlot().Get()(); }

namespace seams {
NowFn SetUtcNow(NowFn fn) { return NowSlot().Set(std::move(fn)); }
PauseFn SetPause(PauseFn fn) { return PauseSlot().Set(std::move(fn)); }
RandomFn SetRandom(RandomFn fn) { return RandomSlot().Set(std::move(fn)); }
UiInvokeFn SetUiInvoke(UiInvokeFn fn) { return UiSlot().Set(std::move(fn)); }
MessageFn SetMessage(MessageFn fn) { return MessageSlot().Set(std::move(fn)); }
QuestionFn SetQuestion(QuestionFn fn) { return QuestionSlot().Set(std::move(fn)); }
TitledQuestionFn SetTitledQuestion(TitledQuestionFn fn) { return TitledQuestionSlot().Set(std::move(fn)); }
SaveDialogFn SetSaveDialog(SaveDialogFn fn) { return SaveDialogSlot().Set(std::move(fn)); }
ListChoiceFn SetListChoice(ListChoiceFn fn) { return ListChoiceSlot().Set(std::move(fn)); }
QuestionFn SetErrorReport(QuestionFn fn) { return ErrorReportSlot().Set(std::move(fn)); }
ProcessMessagesFn SetProcessMessages(ProcessMessagesFn fn) { return ProcessMessagesSlot().Set(std::move(fn)); }
BeepFn SetBeep(BeepFn fn) { return BeepSlot().Set(std::move(fn)); }
void SetDefaultBeep(BeepFn fn) {
  BeepSlot().SetFallback(fn ? std::move(fn) : [] {});
}
}  // namespace seams

}  // namespace karvo
