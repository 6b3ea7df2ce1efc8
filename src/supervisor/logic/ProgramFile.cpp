#include "supervisor/logic/ProgramFile.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "supervisor/logic/JournalFormat.h"
#include "supervisor/logic/RunFiles.h"

namespace karvo {

namespace {

constexpr const char* kProgramTitle = "KarvoTemp instructions program";
constexpr const char* kProgramTableHeader = "Segment;Setpoint;Ramp rate;Dwell days;Finished;Compensate";
constexpr int kMaxProgramSegments = 100000;
// What a register holds.
constexpr std::int32_t kMaxRegisterValue = 65535;
constexpr std::string_view kStabilityField = "Stability: ";

std::string DoubleText(double value) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

template <class T>
bool ParseWhole(std::string_view text, T& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

}  // namespace

std::vector<TFurnaceActionParameters> ProgramSegments(const TFurnaceModule& module) {
  std::vector<TFurnaceActionParameters> segments;
  for (int number = 1; number <= module.InstructionCount(); ++number) segments.push_back(module.GetInstruction(number));
  return segments;
}

void SetProgramSegments(TFurnaceModule& module, const std::vector<TFurnaceActionParameters>& segments) {
  module.InstructionsDeleteFrom(1);
  for (std::size_t i = 0; i < segments.size(); ++i) module.SetInstruction(static_cast<int>(i) + 1, segments[i]);
}

std::string ProgramFileText(const std::wstring& furnace, const std::vector<TFurnaceActionParameters>& segments,
                            const TProgramStability& stability) {
  const int current = CurrentSegmentOf(segments);
  std::string text;
  text += kProgramTitle;
  text += kJournalLineEnd;
  text += "Furnace: " + RunFileNameText(furnace);
  text += kJournalLineEnd;
  text += "Current segment: " + std::to_string(current);
  text += kJournalLineEnd;
  text += kStabilityField;
  text += std::to_string(stability.Segment) + ';' + DoubleText(stability.StableSince) + ';' +
          std::to_string(stability.CreditMs);
  text += kJournalLineEnd;
  text += kProgramTableHeader;
  text += kJournalLineEnd;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const TFurnaceActionParameters& s = segments[i];
    text += std::to_string(i + 1) + ';' + std::to_string(s.TargetSetpoint) + ';' + std::to_string(s.RampRate) + ';' +
            DoubleText(s.Duration) + ';' + (s.Finished ? '1' : '0') + ';' + (s.Compensate ? '1' : '0');
    text += kJournalLineEnd;
  }
  return text;
}

std::optional<std::vector<TFurnaceActionParameters>> ParseProgramFile(std::string_view text, std::string& error,
                                                                      TProgramStability* stability) {
  std::vector<std::string_view> lines = Split(text, '\n');
  // The text ends with a line end: nothing after the last one.
  if (lines.empty() || !lines.back().empty()) {
    error = "the file is cut short";
    return std::nullopt;
  }
  lines.pop_back();
  for (std::string_view& line : lines) line = WithoutLineEnd(line);
  // The stability line (files written before it was kept have none).
  TProgramStability stable;
  const bool hasStability = lines.size() > 3 && lines[3].substr(0, kStabilityField.size()) == kStabilityField;
  if (hasStability) {
    const std::vector<std::string_view> f = Split(lines[3].substr(kStabilityField.size()), ';');
    std::from_chars_result since{nullptr, std::errc::invalid_argument};
    if (f.size() == 3) since = std::from_chars(f[1].data(), f[1].data() + f[1].size(), stable.StableSince);
    if (f.size() != 3 || !ParseWhole(f[0], stable.Segment) || stable.Segment < 0 || f[1].empty() ||
        since.ec != std::errc() || since.ptr != f[1].data() + f[1].size() || !std::isfinite(stable.StableSince) ||
        stable.StableSince < 0.0 || !ParseWhole(f[2], stable.CreditMs) || stable.CreditMs < 0) {
      error = "line 4: it is not the stability of the program";
      return std::nullopt;
    }
    lines.erase(lines.begin() + 3);
  }
  if (lines.size() < 4 || lines[0] != kProgramTitle || lines[1].substr(0, 9) != "Furnace: " ||
      lines[2].substr(0, 17) != "Current segment: " || lines[3] != kProgramTableHeader) {
    error = "it is not an instructions program file";
    return std::nullopt;
  }
  if (lines.size() - 4 > static_cast<std::size_t>(kMaxProgramSegments)) {
    error = "it holds too many segments";
    return std::nullopt;
  }
  std::vector<TFurnaceActionParameters> segments;
  // Line numbers as in the file.
  const std::size_t shift = hasStability ? 2 : 1;
  for (std::size_t i = 4; i < lines.size(); ++i) {
    const std::vector<std::string_view> f = Split(lines[i], ';');
    const std::string where = "line " + std::to_string(i + shift) + ": ";
    TFurnaceActionParameters s;
    int number = 0;
    const auto flag = [](std::string_view t, bool& v) {
      if (t != "0" && t != "1") return false;
      v = t == "1";
      return true;
    };
    double dwell = 0.0;
    const auto [end, ec] = f.size() == 6 ? std::from_chars(f[3].data(), f[3].data() + f[3].size(), dwell)
                                         : std::from_chars_result{nullptr, std::errc::invalid_argument};
    if (f.size() != 6 || !ParseWhole(f[0], number) || !ParseWhole(f[1], s.TargetSetpoint) ||
        !ParseWhole(f[2], s.RampRate) || !flag(f[4], s.Finished) || !flag(f[5], s.Compensate) || f[3].empty() ||
        ec != std::errc() || end != f[3].data() + f[3].size() || !std::isfinite(dwell)) {
      error = where + "it is not a segment";
      return std::nullopt;
    }
    s.Duration = dwell;
    // Checked as the program editors check typed values: nothing a
    // register cannot hold, no negative dwell, every segment once.
    if (number <= static_cast<int>(segments.size())) {
      error = where + "segment " + std::to_string(number) + " appears twice";
      return std::nullopt;
    }
    if (number != static_cast<int>(segments.size()) + 1) {
      error = where + "segment " + std::to_string(segments.size() + 1) + " is missing";
      return std::nullopt;
    }
    if (s.TargetSetpoint < 0 || s.TargetSetpoint > kMaxRegisterValue) {
      error = where + "the setpoint " + std::to_string(s.TargetSetpoint) + " lies outside 0.." +
              std::to_string(kMaxRegisterValue);
      return std::nullopt;
    }
    if (s.RampRate < 0 || s.RampRate > kMaxRegisterValue) {
      error = where + "the ramp rate " + std::to_string(s.RampRate) + " lies outside 0.." +
              std::to_string(kMaxRegisterValue);
      return std::nullopt;
    }
    if (s.Duration < 0.0) {
      error = where + "the dwell is negative";
      return std::nullopt;
    }
    segments.push_back(s);
  }
  if (stability) *stability = stable;
  return segments;
}

}  // namespace karvo
