#pragma once
// Process-wide seams: the few things the program takes from its
// surroundings (clock, pauses, randomness, the user-interface thread and
// modal dialogs). Each has a real default; tests and the Qt shell replace
// them with Set...(), which returns the function it replaces. Passing an
// empty function restores the default. All functions are safe to call from
// any thread.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/Types.h"

namespace karvo {

// The current instant: days since 1899-12-30 00:00 UTC. Every time stamp the
// program keeps for itself and every duration it measures is taken on this
// clock, which does not step when daylight saving time begins or ends.
TDateTime UtcNow();
// Current local date and time: UtcNow() in the system's time zone
// (common/LocalTime.h). What the operator reads and the files show.
TDateTime Now();
// Pauses the calling thread for `ms` milliseconds.
void PauseMs(std::uint32_t ms);
// A uniformly distributed whole number in lo..hi, both included. The default
// source is seeded once from the clock when it is first used.
int RandomRange(int lo, int hi);
// Runs `fn` on the user-interface thread and returns when it has run. The
// default (no user interface) runs it on the calling thread, one call at a
// time.
void RunOnUiThreadAndWait(const std::function<void()>& fn);
// A modal message box with an OK button. Default: the text goes to the log.
void ShowMessage(const std::string& text);
// A modal Yes/No question; true for Yes. Default: logs it and answers No.
bool AskYesNo(const std::string& text);
// The same in a box with a title. Default: AskYesNo(text), so a replaced
// question seam answers both.
bool AskYesNo(const std::string& text, const std::string& title);
// The warning beep (an edit box refusing a key). Default: the user
// interface's own beep once the shell has set it (seams::SetDefaultBeep);
// silent in a program without one.
void Beep();

// What a modal save-file dialog is set up with (texts in UTF-8, like every
// text of these seams).
struct TSaveDialogOptions {
  std::string Title;
  std::string InitialDir;     // the folder the dialog starts in
  std::string FilterName;     // e.g. "csv file"
  std::string FilterPattern;  // e.g. "*.csv"
  std::string DefaultExt;     // added to a name typed without extension, e.g. "csv"
};
// Runs a modal save-file dialog; the chosen file's path, or empty text when
// the operator cancelled. Default (no user interface): logs the title and
// cancels.
std::string AskSaveFileName(const TSaveDialogOptions& options);

// What a modal list-choice dialog shows: a text above a list of items, one
// of which the operator picks (texts in UTF-8).
struct TListChoiceOptions {
  std::string Title;
  std::string Text;
  std::vector<std::string> Items;
};
// Runs a modal list-choice dialog; the index of the item picked, or -1 when
// the operator cancelled. Default (no user interface): logs the text and
// cancels.
int AskListChoice(const TListChoiceOptions& options);
// Shows an error that escaped an operator action, with a button that saves
// a report of it; true when the operator asked for the report. Default: logs
// the text and answers no.
bool AskSaveErrorReport(const std::string& text);
// Lets the user interface handle the events waiting for it (a repaint, the
// busy cursor) in the middle of a long action; the operator's input is
// not among them and waits until the action is done. Default: nothing.
void ProcessMessages();

namespace seams {

using NowFn = std::function<TDateTime()>;
using PauseFn = std::function<void(std::uint32_t ms)>;
using RandomFn = std::function<int(int lo, int hi)>;
using UiInvokeFn = std::function<void(const std::function<void()>& fn)>;
using MessageFn = std::function<void(const std::string& text)>;
using QuestionFn = std::function<bool(const std::string& text)>;
using TitledQuestionFn = std::function<bool(const std::string& text, const std::string& title)>;
using SaveDialogFn = std::function<std::string(const TSaveDialogOptions& options)>;
using ListChoiceFn = std::function<int(const TListChoiceOptions& options)>;
using ProcessMessagesFn = std::function<void()>;
using BeepFn = std::function<void()>;

// Replaces the clock behind UtcNow() (and with it Now()).
NowFn SetUtcNow(NowFn fn);
PauseFn SetPause(PauseFn fn);
RandomFn SetRandom(RandomFn fn);
UiInvokeFn SetUiInvoke(UiInvokeFn fn);
MessageFn SetMessage(MessageFn fn);
QuestionFn SetQuestion(QuestionFn fn);
TitledQuestionFn SetTitledQuestion(TitledQuestionFn fn);
SaveDialogFn SetSaveDialog(SaveDialogFn fn);
ListChoiceFn SetListChoice(ListChoiceFn fn);
QuestionFn SetErrorReport(QuestionFn fn);
ProcessMessagesFn SetProcessMessages(ProcessMessagesFn fn);
BeepFn SetBeep(BeepFn fn);
// The beep used while no replacement is installed (the Qt shell's).
void SetDefaultBeep(BeepFn fn);

// The system's own clock (UTC instant), whatever is installed.
TDateTime SystemUtcNow();

// Installs a replacement for the lifetime of the object:
//   karvo::seams::Scoped pauses(karvo::seams::SetPause, [&](auto ms) { ... });
template <class Fn>
class Scoped {
 public:
  Scoped(Fn (*setter)(Fn), Fn fn) : setter_(setter), previous_(setter(std::move(fn))) {}
  ~Scoped() { setter_(std::move(previous_)); }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;

 private:
  Fn (*setter_)(Fn);
  Fn previous_;
};

}  // namespace seams
}  // namespace karvo
