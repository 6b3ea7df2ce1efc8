// The status snapshot as JSON, as Prometheus metrics and as the page.
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "common/Text.h"
#include "status/StatusSnapshot.h"

namespace karvo {

namespace {

// Days from 1899-12-30 to 1970-01-01.
constexpr double kUnixEpochDays = 25569.0;

std::string Number(double v) {
  if (!std::isfinite(v)) return "null";
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

template <class T>
std::string JsonValue(const std::optional<T>& v) {
  if (!v) return "null";
  if constexpr (std::is_floating_point_v<T>)
    return Number(*v);
  else
    return std::to_string(*v);
}

// "2026-12-11T00:19:47Z" of an instant.
std::string IsoUtc(TDateTime t) {
  using namespace std::chrono;
  const double unixSeconds = std::floor((t - kUnixEpochDays) * kSecondsPerDay + 0.5);
  const sys_seconds s{seconds{static_cast<long long>(unixSeconds)}};
  const sys_days day = floor<days>(s);
  const year_month_day ymd{day};
  const hh_mm_ss hms{s - day};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                static_cast<int>(hms.seconds().count()));
  return buf;
}

std::optional<double> PollAge(const TStatusSnapshot& s, TDateTime nowUtc) {
  if (!s.LastPollUtc) return std::nullopt;
  return std::max(0.0, std::round((nowUtc - *s.LastPollUtc) * kSecondsPerDay * 1000.0) / 1000.0);
}

const char* LampStateName(TStatusLampState state) {
  switch (state) {
    case TStatusLampState::On:
      return "on";
    case TStatusLampState::Blinking:
      return "blinking";
    case TStatusLampState::Off:
      break;
  }
  return "off";
}

std::string JsonStrings(const std::vector<std::string>& lines) {
  std::string out = "[";
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i) out += ",";
    out += JsonString(lines[i]);
  }
  return out + "]";
}

// Escapes a Prometheus label value.
std::string LabelValue(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = Utf8SequenceLength(text, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    const char c = text[i];
    if (c == '\\')
      out += "\\\\";
    else if (c == '"')
      out += "\\\"";
    else if (c == '\n')
      out += "\\n";
    else
      out.append(text.substr(i, n));
    i += n;
  }
  return out;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = Utf8SequenceLength(text, i);
    if (n == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"') {
      out += "\\\"";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '<' || c == '>' || c == '&' || c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out.append(text.substr(i, n));
    }
    i += n;
  }
  return out + "\"";
}

std::string RenderStatusJson(const TStatusSnapshot& s, TDateTime nowUtc) {
  std::string j = "{";
  const auto field = [&](const char* name, const std::string& value) {
    if (j.size() > 1) j += ",";
    j += "\"";
    j += name;
    j += "\":";
    j += value;
  };
  field("furnace_name", JsonString(s.FurnaceName));
  field("connection", JsonString(s.Connection));
  field("temperature_c", JsonValue(s.Temperature));
  field("target_setpoint_c", JsonValue(s.TargetSetpoint));
  field("working_setpoint_c", JsonValue(s.WorkingSetpoint));
  field("ramp_rate", JsonValue(s.RampRate));
  field("rate_of_change_c_per_min", JsonValue(s.RateOfChange));
  field("output_power_limit_percent", JsonValue(s.OutputPowerLimit));
  field("working_output_percent", JsonValue(s.WorkingOutput));
  std::string lamps = "[";
  for (const TStatusLamp& l : s.Lamps) {
    if (lamps.size() > 1) lamps += ",";
    lamps += "{\"key\":" + JsonString(l.Key) + ",\"name\":" + JsonString(l.Name) + ",\"state\":\"" +
             LampStateName(l.State) + "\"}";
  }
  field("lamps", lamps + "]");
  field("stable_s", JsonValue(s.StableSeconds));
  field("stable_time", JsonString(s.StableTime));
  field("segment", JsonValue(s.Segment));
  field("program", JsonStrings(s.ProgramTable));
  field("log", JsonStrings(s.LogLines));
  field("polls_consumed", std::to_string(s.PollsConsumed));
  field("polls_failed", std::to_string(s.PollsFailed));
  field("journal_samples_waiting", JsonValue(s.JournalWaiting));
  field("last_poll_utc", s.LastPollUtc ? JsonString(IsoUtc(*s.LastPollUtc)) : "null");
  field("last_poll_age_s", JsonValue(PollAge(s, nowUtc)));
  field("poll_interval_ms", std::to_string(s.PollIntervalMs));
  field("sequence", std::to_string(s.Sequence));
  field("published_utc", s.PublishedUtc > 0 ? JsonString(IsoUtc(s.PublishedUtc)) : "null");
  return j + "}\n";
}

std::string RenderStatusMetrics(const TStatusSnapshot& s, TDateTime nowUtc) {
  std::string m;
  const std::string furnace = "furnace=\"" + LabelValue(s.FurnaceName) + "\"";
  const auto family = [&](const char* name, const char* type, const char* help) {
    m += "# HELP ";
    m += name;
    m += " ";
    m += help;
    m += "\n# TYPE ";
    m += name;
    m += " ";
    m += type;
    m += "\n";
  };
  const auto sample = [&](const char* name, const std::string& extraLabels, const std::string& value) {
    m += name;
    m += "{" + furnace + extraLabels + "} " + value + "\n";
  };
  const auto gauge = [&](const char* name, const char* help, const auto& value) {
    family(name, "gauge", help);
    if (value) sample(name, "", Number(static_cast<double>(*value)));
  };
  gauge("karvo_temperature_celsius", "Measured furnace temperature of the last consumed poll.", s.Temperature);
  gauge("karvo_target_setpoint_celsius", "Target setpoint of the controller.", s.TargetSetpoint);
  gauge("karvo_working_setpoint_celsius", "Working setpoint of the controller.", s.WorkingSetpoint);
  gauge("karvo_ramp_rate", "Ramp rate in the controller's own unit.", s.RampRate);
  gauge("karvo_rate_of_change_celsius_per_minute", "Rate of change of the temperature.", s.RateOfChange);
  gauge("karvo_output_power_limit_percent", "Output power high limit, percent of maximum power.", s.OutputPowerLimit);
  gauge("karvo_working_output_percent", "Working output, percent of maximum power.", s.WorkingOutput);
  family("karvo_connected", "gauge", "1 while a furnace is operated and its last poll succeeded.");
  sample("karvo_connected", "", s.Connection == "connected" ? "1" : "0");
  family("karvo_lamp_on", "gauge", "Stability lamp lit (1) or out (0).");
  for (const TStatusLamp& l : s.Lamps)
    sample("karvo_lamp_on", ",lamp=\"" + l.Key + "\"", l.State == TStatusLampState::Off ? "0" : "1");
  family("karvo_lamp_blinking", "gauge", "Stability lamp blinking (1) or not (0).");
  for (const TStatusLamp& l : s.Lamps)
    sample("karvo_lamp_blinking", ",lamp=\"" + l.Key + "\"", l.State == TStatusLampState::Blinking ? "1" : "0");
  gauge("karvo_segment", "Current segment of the instructions program.", s.Segment);
  gauge("karvo_stable_seconds", "Seconds the furnace has been stable.", s.StableSeconds);
  family("karvo_polls_consumed_total", "counter", "Polls consumed since program start.");
  sample("karvo_polls_consumed_total", "", std::to_string(s.PollsConsumed));
  family("karvo_polls_failed_total", "counter", "Failed polls and sensor breaks since program start.");
  sample("karvo_polls_failed_total", "", std::to_string(s.PollsFailed));
  gauge("karvo_journal_samples_waiting", "Samples queued for the run journal, not yet written.", s.JournalWaiting);
  gauge("karvo_last_poll_age_seconds", "Seconds since the last consumed poll.", PollAge(s, nowUtc));
  return m;
}

}  // namespace karvo
