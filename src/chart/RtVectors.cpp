#include "chart/RtVectors.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "chart/RtSeries.h"

namespace karvo {

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
}

TRtDoubleVector::~TRtDoubleVector() {
  // The series that use this vector lose it.
  const auto related = related_;
  for (TRtSeries* s : related) s->DetachVector(this);
}

int TRtDoubleVector::Add(double x) {
  if (count_ + 1 > capacity_) {
    while (count_ + 1 > capacity_) capacity_ += increment_;
  }
  const auto block = static_cast<std::size_t>(count_) >> kBlockShift;
  if (block == blocks_.size()) blocks_.push_back(std::make_unique<double[]>(kBlockSize));
  blocks_[block][static_cast<std::size_t>(count_) & kBlockMask] = x;
  if (count_ > 0 && !(x >= last_)) {
    nonDecreasing_ = false;
    runStarts_.push_back(count_);
  }
  if (count_ == 0 && std::isnan(x)) nonDecreasing_ = false;
  last_ = x;
  UpdateLevelOfDetail(count_, x);
  ++count_;
  for (TRtSeries* s : related_) s->VectorAppended(this);
  return count_;
}

void TRtDoubleVector::UpdateLevelOfDetail(int index, double x) {
  if (lod_.empty()) lod_.emplace_back();
  const bool skip = !std::isfinite(x);
  const auto idx = static_cast<std::size_t>(index);
  for (std::size_t level = 0; level < lod_.size(); ++level) {
    auto& entries = lod_[level];
    const std::size_t j = idx >> (kLodShift * (level + 1));
    if (j == entries.size()) entries.push_back({kInf, -kInf});
    if (skip) continue;
    auto& e = entries[j];
    if (x < e.min) e.min = x;
    if (x > e.max) e.max = x;
  }
  // Once the values fill a whole run of the next level, that level starts
  // with one entry summarising the top level.
  const std::size_t run = std::size_t{1} << (kLodShift * (lod_.size() + 1));
  if (idx + 1 == run) {
    TRtMinMax top{kInf, -kInf};
    for (const TRtMinMax& e : lod_.back()) {
      top.min = std::min(top.min, e.min);
      top.max = std::max(top.max, e.max);
    }
    lod_.push_back({top});
  }
}

void TRtDoubleVector::Clear(bool /*withLinkedMarkers*/) {
  count_ = 0;
  covered_ = 0;
  min_ = kRtMaxDouble;
  max_ = -kRtMaxDouble;
  minIndex_ = maxIndex_ = -1;
  sum_ = 0.0;
  nonDecreasing_ = true;
  last_ = 0.0;
  runStarts_.clear();
  lod_.clear();
  for (TRtSeries* s : related_) s->VectorCleared(this);
}

void TRtDoubleVector::SetIncrement(int increment) {
  if (increment < kMinIncrement) return;
  increment_ = increment;
}

double TRtDoubleVector::GetValue(int i) const {
  if (i < 0 || i >= count_) throw ERtRangeError("i=" + std::to_string(i) + " index out of range");
  return (*this)[i];
}

void TRtDoubleVector::CatchUpStatistics() const {
  for (int i = covered_; i < count_; ++i) {
    const double v = (*this)[i];
    if (!std::isfinite(v)) continue;
    if (v < min_) {
      min_ = v;
      minIndex_ = i;
    }
    if (v > max_) {
      max_ = v;
      maxIndex_ = i;
    }
    sum_ += v;
  }
  covered_ = count_;
}

double TRtDoubleVector::GetMinimum() const {
  CatchUpStatistics();
  return min_;
}
double TRtDoubleVector::GetMaximum() const {
  CatchUpStatistics();
  return max_;
}
int TRtDoubleVector::GetMinimumIndex() const {
  CatchUpStatistics();
  return minIndex_;
}
int TRtDoubleVector::GetMaximumIndex() const {
  CatchUpStatistics();
  return maxIndex_;
}
double TRtDoubleVector::GetSum() const {
  CatchUpStatistics();
  return sum_;
}

void TRtDoubleVector::Runs(int count, std::vector<std::pair<int, int>>& out) const {
  out.clear();
  count = std::min(count, count_);
  int first = 0;
  for (const int start : runStarts_) {
    if (start >= count) break;
    out.emplace_back(first, start);
    first = start;
  }
  if (first < count) out.emplace_back(first, count);
}

TRtMinMax TRtDoubleVector::RangeMinMax(int first, int last) const {
  // Climbs from single values to ever larger summary runs while the range
  // is aligned to them, then descends again towards its end: at most 31
  // entries per level on each side, and no value is read twice.
  double lo = kInf, hi = -kInf;
  first = std::max(first, 0);
  last = std::min(last, count_);
  auto i = static_cast<std::size_t>(first);
  const auto end = static_cast<std::size_t>(std::max(last, first));
  const std::size_t levels = lod_.size();
  std::size_t level = 0;  // 0: single values; k: entries of lod_[k - 1]
  while (i < end) {
    const int shift = kLodShift * static_cast<int>(level);
    const std::size_t size = std::size_t{1} << shift;
    const std::size_t up = size << kLodShift;
    if (level < levels && (i & (up - 1)) == 0 && i + up <= end) {
      ++level;
      continue;
    }
    if (i + size > end) {
      --level;
      continue;
    }
    // As many whole entries of this level as fit before the next boundary
    // of the level above (or the end).
    const std::size_t stop = std::min(end, (i | (up - 1)) + 1);
    const std::size_t n = (stop - i) >> shift;
    if (level == 0) {
      const double* v = &blocks_[i >> kBlockShift][i & kBlockMask];
      for (std::size_t k = 0; k < n; ++k) {
        if (!std::isfinite(v[k])) continue;
        lo = v[k] < lo ? v[k] : lo;
        hi = v[k] > hi ? v[k] : hi;
      }
    } else {
      const TRtMinMax* e = &lod_[level - 1][i >> shift];
      for (std::size_t k = 0; k < n; ++k) {
        lo = e[k].min < lo ? e[k].min : lo;
        hi = e[k].max > hi ? e[k].max : hi;
      }
    }
    i += n << shift;
  }
  return {lo, hi};
}

TRtExtremes TRtDoubleVector::RangeExtremes(int first, int last) const {
  TRtExtremes r{kInf, -kInf, -1, -1};
  // Where each extreme was seen: a value (level -1) or a summary entry.
  int minLevel = -1, maxLevel = -1;
  std::size_t minAt = 0, maxAt = 0;
  first = std::max(first, 0);
  last = std::min(last, count_);
  auto i = static_cast<std::size_t>(first);
  const auto end = static_cast<std::size_t>(std::max(last, first));
  while (i < end) {
    int level = -1;
    std::size_t size = 1;
    while (static_cast<std::size_t>(level + 1) < lod_.size()) {
      const std::size_t next = size << kLodShift;
      if (i % next != 0 || i + next > end) break;
      size = next;
      ++level;
    }
    double lo, hi;
    std::size_t at = i;
    if (level < 0) {
      lo = hi = (*this)[static_cast<int>(i)];
      if (!std::isfinite(lo)) {
        lo = kInf;
        hi = -kInf;
      }
    } else {
      at = i / size;
      const TRtMinMax& e = lod_[static_cast<std::size_t>(level)][at];
      lo = e.min;
      hi = e.max;
    }
    if (lo < r.min) {
      r.min = lo;
      minLevel = level;
      minAt = at;
    }
    if (hi > r.max) {
      r.max = hi;
      maxLevel = level;
      maxAt = at;
    }
    i += size;
  }
  if (r.min <= r.max) {
    r.minIndex = minLevel < 0 ? static_cast<int>(minAt) : Locate(minLevel, minAt, r.min, true);
    r.maxIndex = maxLevel < 0 ? static_cast<int>(maxAt) : Locate(maxLevel, maxAt, r.max, false);
  }
  return r;
}

int TRtDoubleVector::Locate(int level, std::size_t entry, double value, bool minimum) const {
  // Down the levels: the first child run holding the value.
  for (; level > 0; --level) {
    const auto& below = lod_[static_cast<std::size_t>(level - 1)];
    std::size_t child = entry << kLodShift;
    const std::size_t stop = std::min(below.size(), child + (std::size_t{1} << kLodShift));
    while (child + 1 < stop && (minimum ? below[child].min : below[child].max) != value) ++child;
    entry = child;
  }
  std::size_t i = entry << kLodShift;
  const std::size_t stop = std::min(static_cast<std::size_t>(count_), i + (std::size_t{1} << kLodShift));
  while (i + 1 < stop && (*this)[static_cast<int>(i)] != value) ++i;
  return static_cast<int>(i);
}

std::size_t TRtDoubleVector::MemoryBytes() const {
  std::size_t bytes = blocks_.capacity() * sizeof(blocks_[0]) + blocks_.size() * kBlockSize * sizeof(double);
  for (const auto& level : lod_) bytes += level.capacity() * sizeof(TRtMinMax);
  bytes += lod_.capacity() * sizeof(lod_[0]);
  return bytes;
}

void TRtDoubleVector::AddRelated(TRtSeries* series) const {
  if (std::find(related_.begin(), related_.end(), series) == related_.end()) related_.push_back(series);
}

void TRtDoubleVector::RemoveRelated(TRtSeries* series) const {
  related_.erase(std::remove(related_.begin(), related_.end(), series), related_.end());
}

}  // namespace karvo
