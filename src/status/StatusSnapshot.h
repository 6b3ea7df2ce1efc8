#pragma once
// What the status server shows: one immutable picture of the running
// program, made by the user-interface thread after each tick and read by the
// server's thread without a lock held across a request. Rendered here,
// without any toolkit, as the status page, its JSON document and the
// metrics text a monitoring system scrapes.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Types.h"

namespace karvo {

enum class TStatusLampState { Off, On, Blinking };

struct TStatusLamp {
  std::string Key;   // metrics label: "oscillation", "slope", "time"
  std::string Name;  // what the operator reads: the lamp's hint
  TStatusLampState State = TStatusLampState::Off;
};

// The chart ranges the page offers: the last hour, the last 8 hours, all.
enum class TStatusChartRange { Hour = 0, EightHours = 1, All = 2 };
inline constexpr std::size_t kStatusChartRanges = 3;

struct TStatusSnapshot {
  std::uint64_t Sequence = 0;        // rises with every published snapshot
  TDateTime PublishedUtc = 0.0;      // instant it was made
  std::uint32_t PollIntervalMs = 0;  // how often the page refreshes
  std::string FurnaceName;           // UTF-8
  // "stopped" (no furnace operated), "connecting" (no poll consumed yet),
  // "connected", "poll failed", "sensor break".
  std::string Connection = "stopped";
  // The last consumed poll's values; none while nothing was read. After a
  // failed poll they stay those of the last good one (LastPollUtc says when).
  std::optional<double> Temperature;            // ºC
  std::optional<std::int32_t> TargetSetpoint;   // ºC
  std::optional<std::int32_t> WorkingSetpoint;  // ºC
  std::optional<std::int32_t> RampRate;         // the controller's unit
  std::optional<double> RateOfChange;           // ºC/min
  std::optional<double> OutputPowerLimit;       // % of maximum power
  std::optional<double> WorkingOutput;          // % of maximum power
  std::optional<TDateTime> LastPollUtc;         // instant of the last consumed poll
  std::array<TStatusLamp, 3> Lamps{{{"oscillation", "Temperature close to target setpoint", {}},
                                    {"slope", "Very low rate of change", {}},
                                    {"time", "Stable for a while", {}}}};
  std::optional<double> StableSeconds;          // none while not stable
  std::string StableTime = "0";                 // as the window shows it
  std::optional<std::int32_t> Segment;          // the program's current segment
  std::vector<std::string> ProgramTable;        // the instructions table's lines
  std::vector<std::string> LogLines;            // the newest log lines, oldest first
  std::uint64_t PollsConsumed = 0;              // since program start
  std::uint64_t PollsFailed = 0;                // failed polls and sensor breaks
  std::optional<std::uint64_t> JournalWaiting;  // samples queued for the run journal; none without a journal
  // The chart images (PNG) of this tick, for the ranges someone asked for.
  std::array<std::shared_ptr<const std::string>, kStatusChartRanges> ChartPng;
};

// The JSON document of /status.json (UTF-8, nulls for what is unknown,
// "<" written as \u003c so that it can stand inside a page's script).
// `nowUtc` gives the last poll's age.
std::string RenderStatusJson(const TStatusSnapshot& s, TDateTime nowUtc);
// The Prometheus text format of /metrics: one label furnace="name" on every
// sample; values that are unknown are left out.
std::string RenderStatusMetrics(const TStatusSnapshot& s, TDateTime nowUtc);
// The page of /: no outside scripts or fonts; the values come from the
// embedded document and then from /status.json every poll interval.
std::string RenderStatusPage(const TStatusSnapshot& s, TDateTime nowUtc);

// JSON string literal of UTF-8 text (quotes included); bytes that are not
// valid UTF-8 come out as U+FFFD.
std::string JsonString(std::string_view text);

}  // namespace karvo
