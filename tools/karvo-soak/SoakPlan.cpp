#include "SoakPlan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "common/Types.h"

namespace karvo::soak {
namespace {

constexpr double kDay = 86400.0;
// 2027-03-01 00:00 UTC: a day number of the spreadsheet epoch.
constexpr TDateTime kStart = 46447.0;
// Local time is UTC + 2 h outside daylight saving time.
constexpr int kStandardOffsetHours = 2;

// "Jn/h" of a POSIX rule: day n of the year (1..365, 29 February never
// counted) and the local hour of the change, for an instant in 2027 (not a
// leap year).
std::string JulianRule(TDateTime localDays) {
  const double dayOfYear = localDays - 46387.0;  // 2027-01-01 is day 46388
  const int day = static_cast<int>(std::floor(dayOfYear));
  const int hour = static_cast<int>(std::floor((dayOfYear - day) * 24.0));
  char text[32];
  std::snprintf(text, sizeof text, "J%d/%d", day, hour);
  return text;
}

}  // namespace

const char* FaultName(FaultKind kind) {
  static constexpr const char* kNames[kFaultKinds] = {"silence",        "bad CRC burst",        "late replies",
                                                      "sensor break",   "other address",        "config restart",
                                                      "pulled adapter", "store refuses writes", "disk refuses journal"};
  return kNames[static_cast<int>(kind)];
}

Plan MakePlan(double days, std::uint32_t seed, bool faults) {
  Plan p;
  p.Days = std::max(days, 1.0 / 24);
  p.StartUtc = kStart;
  std::mt19937 random(seed);

  // Daylight saving time begins a third into the run and ends two thirds
  // into it, both at a whole local hour (the rule's resolution). The local
  // time conversions take a zone to change its offset at most once within
  // two days, as every real zone does: a run shorter than a week begins in
  // daylight saving time (begun three days before) and sees it end half
  // way.
  const double offset = kStandardOffsetHours / 24.0;
  const bool both = p.Days >= 7;
  const double beginAt = both ? p.Days / 3 : -3.0, endAt = both ? 2 * p.Days / 3 : p.Days / 2;
  const double beginLocal = std::floor((kStart + beginAt + offset) * 24.0) / 24.0;
  double endLocal = std::floor((kStart + endAt + offset + 1.0 / 24) * 24.0) / 24.0;  // DST time
  // Never at the run's first instant: a run that began in the repeated hour
  // would have no earlier sample to tell which of the two hours it is in
  // (the journal keeps local time). A run of an hour does not see it.
  if (endLocal - offset - 1.0 / 24 < kStart + 1.0 / 24 - 1e-9) endLocal = kStart + offset + 2.0 / 24;
  p.TimeZone = "EET-2EEST," + JulianRule(beginLocal) + "," + JulianRule(endLocal);
  p.DstBeginsUtc = beginLocal - offset;
  p.DstEndsUtc = endLocal - offset - 1.0 / 24;

  // Ten segments with two holds; the dwells fill about half the run, the
  // rest is for ramps, settling, faults and holds.
  struct Shape {
    int setpoint, rampRate, dwellShare;  // dwellShare: of 20
  };
  static constexpr Shape kShapes[] = {{250, 10, 2}, {400, 4, 2}, {600, 8, 1}, {520, 5, 3},  {700, 10, 0},
                                      {850, 8, 3},  {780, 6, 2}, {900, 5, 4}, {650, 10, 1}, {300, 10, 2}};
  const double dwellMinutes = std::max(0.0, p.Days * 0.5 * 1440.0 - 10 * 60.0);
  for (const Shape& s : kShapes)
    p.Segments.push_back({s.setpoint, s.rampRate, static_cast<int>(dwellMinutes * s.dwellShare / 20)});
  p.Holds = {{4, std::max(10.0, p.Days * 60.0)}, {8, std::max(5.0, p.Days * 20.0)}};
  if (!faults) return p;

  // The fault schedule: every kind at least once, more in longer runs.
  // Waits that cost real time (a silent controller costs every transaction
  // its full timeout) are shorter in short runs.
  const bool longRun = p.Days >= 3;
  auto count = [&](double perDay) { return std::max(1, static_cast<int>(std::lround(perDay * p.Days))); };
  std::vector<FaultEvent> events;
  const double silences[] = {1, 5, 30, 120, 600};
  const int silenceChoices = longRun ? 5 : 3;
  for (int i = 0, n = count(3); i < n; ++i) events.push_back({0, silences[i % silenceChoices], FaultKind::Silence});
  if (longRun) events.push_back({0, 600, FaultKind::Silence});
  for (int i = 0, n = count(2); i < n; ++i) events.push_back({0, 20, FaultKind::BadCrc});
  for (int i = 0, n = count(1); i < n; ++i)
    events.push_back(i % 2 == 0 ? FaultEvent{0, 30, FaultKind::LateReply, 1500}  // beyond the reply timeout
                                : FaultEvent{0, 60, FaultKind::LateReply, 150});
  if (count(1) < 2) events.push_back({0, 60, FaultKind::LateReply, 150});
  for (int i = 0, n = count(0.5); i < n; ++i) events.push_back({0, 120, FaultKind::SensorBreak});
  for (int i = 0, n = count(0.5); i < n; ++i) events.push_back({0, 60, FaultKind::OtherAddress});
  for (int i = 0, n = count(0.1); i < n; ++i) events.push_back({0, 600, FaultKind::ConfigRestart});
  for (int i = 0, n = count(0.2); i < n; ++i) events.push_back({0, 120, FaultKind::PulledAdapter});
  for (int i = 0, n = count(0.1); i < n; ++i) events.push_back({0, 3600, FaultKind::StoreRefuses});
  for (int i = 0, n = count(0.1); i < n; ++i) events.push_back({0, 3600, FaultKind::DiskRefuses});
  std::shuffle(events.begin(), events.end(), random);
  // Spread over the run between 2 % and 97 % of it, in random gaps, one
  // after the other.
  double busy = 0.0;
  for (const FaultEvent& e : events) busy += e.Seconds;
  const double span = p.Days * kDay * 0.95;
  const double spare = std::max(0.0, span - busy);
  std::vector<double> gaps(events.size() + 1);
  std::uniform_real_distribution<double> share(0.2, 1.0);
  double total = 0.0;
  for (double& g : gaps) total += g = share(random);
  double at = p.Days * kDay * 0.02;
  for (std::size_t i = 0; i < events.size(); ++i) {
    at += spare * gaps[i] / total;
    events[i].At = at;
    at += events[i].Seconds;
  }
  p.Faults = std::move(events);

  // Three kills in a month, one in shorter runs: between a tenth and nine
  // tenths of the run, away from the faults (a kill while the disk refuses
  // the journal loses the samples waiting for it, which no program could
  // keep).
  const int kills = std::max(1, static_cast<int>(std::lround(p.Days / 10)));
  std::uniform_real_distribution<double> when(0.1 * p.Days * kDay, 0.9 * p.Days * kDay);
  std::uniform_int_distribution<int> intoPoll(0, 400);
  std::uniform_real_distribution<double> restart(60.0, 600.0);
  auto clear = [&](double t) {
    for (const FaultEvent& e : p.Faults)
      if (t >= e.At - 600.0 && t <= e.At + e.Seconds + 3600.0) return false;
    for (const Plan::Kill& k : p.Kills)
      if (std::fabs(t - k.At) < 0.05 * p.Days * kDay) return false;
    return true;
  };
  for (int i = 0, tries = 0; i < kills && tries < 10000; ++tries) {
    const double t = when(random);
    if (!clear(t)) continue;
    p.Kills.push_back({t, intoPoll(random), restart(random)});
    ++i;
  }
  std::sort(p.Kills.begin(), p.Kills.end(), [](const Plan::Kill& a, const Plan::Kill& b) { return a.At < b.At; });
  return p;
}

}  // namespace karvo::soak
