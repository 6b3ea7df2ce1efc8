#pragma once
// The chart's data vectors: growable arrays of doubles that keep running
// statistics and a level-of-detail summary for drawing.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

namespace karvo {

class TRtSeries;

// The largest double; the empty statistics read as +/- this value.
inline constexpr double kRtMaxDouble = 1.7976931348623157e308;

// GetValue with an index outside 0 .. Count - 1.
class ERtRangeError : public std::out_of_range {
 public:
  using std::out_of_range::out_of_range;
};

struct TRtMinMax {
  double min;
  double max;
};

// Extremes of an index range with the index of the first occurrence of
// each (-1 when the range holds no number).
struct TRtExtremes {
  double min;
  double max;
  int minIndex;
  int maxIndex;
};

// A growable array of doubles with running statistics.
//
// Storage grows by `Increment` slots (Capacity reports that), laid out in
// fixed blocks so that appending never copies the history: an append costs
// the same after a month of data as after a minute.
//
// The minimum, maximum (with their indices) and the sum are caught up
// lazily: the first statistics read after appends scans only the values
// beyond the high-water mark. Values that are not finite (NaN, +/-Inf) take
// no part in them: one bad value must not hide every good one.
//
// The vector also knows where it is in order: it is cut into runs, each
// non-decreasing (a value below the one before it, or a NaN, starts a new
// run). Time vectors are one run unless the clock went back.
//
// For drawing, the vector also keeps a level-of-detail pyramid: the minimum
// and maximum of every aligned run of 32, 32^2, 32^3 ... values, updated on
// each append, so the extremes of any index range cost O(32 x levels)
// instead of a scan (RangeMinMax).
class TRtDoubleVector {
 public:
  static constexpr int kMinIncrement = 128;

  TRtDoubleVector() = default;
  ~TRtDoubleVector();
  TRtDoubleVector(const TRtDoubleVector&) = delete;
  TRtDoubleVector& operator=(const TRtDoubleVector&) = delete;

  // Appends x and returns the new Count. Related series are told.
  int Add(double x);
  // Empties the vector (the capacity stays); related series forget their
  // points and ranges. The chart has no markers: withLinkedMarkers is
  // accepted for the callers' sake.
  void Clear(bool withLinkedMarkers = true);

  int GetCount() const { return count_; }
  int Count() const { return count_; }
  int Capacity() const { return capacity_; }
  int Increment() const { return increment_; }
  // Values below 128 are ignored.
  void SetIncrement(int increment);

  // The i-th value (0-based); throws ERtRangeError "i=<i> index out of range".
  double GetValue(int i) const;
  // Unchecked access for loops that know their bounds.
  double operator[](int i) const {
    return blocks_[static_cast<std::size_t>(i) >> kBlockShift][static_cast<std::size_t>(i) & kBlockMask];
  }

  // Running statistics (caught up on read). Empty: +max / -max, indices -1,
  // sum 0.
  double GetMinimum() const;
  double GetMaximum() const;
  int GetMinimumIndex() const;
  int GetMaximumIndex() const;
  double GetSum() const;

  // True while every value is >= the one before it (NaN breaks it). Kept on
  // append; a cleared vector is non-decreasing again.
  bool IsNonDecreasing() const { return nonDecreasing_; }
  // Where runs after the first begin, in index order (empty while the
  // vector is non-decreasing throughout).
  const std::vector<int>& RunStarts() const { return runStarts_; }
  // The non-decreasing runs that meet indices 0 .. count - 1, each as
  // [first, last), in index order.
  void Runs(int count, std::vector<std::pair<int, int>>& out) const;

  // The smallest and largest value of indices first .. last - 1 (values
  // that are not finite are skipped). An empty range gives {+inf, -inf}.
  TRtMinMax RangeMinMax(int first, int last) const;
  // The same with the indices of the extremes, found by descending the
  // pyramid: O(32 x levels) as well.
  TRtExtremes RangeExtremes(int first, int last) const;

  // Heap bytes held by the values and the level-of-detail pyramid.
  std::size_t MemoryBytes() const;

  const std::vector<TRtSeries*>& RelatedSeries() const { return related_; }

 private:
  friend class TRtSeries;
  // The series drawn from a vector are its observers, not its values: a
  // series may show a vector it cannot change.
  void AddRelated(TRtSeries* series) const;
  void RemoveRelated(TRtSeries* series) const;
  void CatchUpStatistics() const;
  void UpdateLevelOfDetail(int index, double x);
  // First index in the run of `level` entry `entry` whose value equals
  // `value` (a minimum or maximum of that run).
  int Locate(int level, std::size_t entry, double value, bool minimum) const;

  static constexpr int kBlockShift = 10;
  static constexpr std::size_t kBlockSize = std::size_t{1} << kBlockShift;
  static constexpr std::size_t kBlockMask = kBlockSize - 1;
  static constexpr int kLodShift = 5;  // 32 values per summary entry

  std::vector<std::unique_ptr<double[]>> blocks_;
  int count_ = 0;
  int capacity_ = kMinIncrement;
  int increment_ = kMinIncrement;
  bool nonDecreasing_ = true;
  double last_ = 0.0;
  std::vector<int> runStarts_;

  mutable int covered_ = 0;  // high-water mark of the statistics
  mutable double min_ = kRtMaxDouble;
  mutable double max_ = -kRtMaxDouble;
  mutable int minIndex_ = -1;
  mutable int maxIndex_ = -1;
  mutable double sum_ = 0.0;

  // lod_[k][j]: extremes of values j * 32^(k+1) .. (j+1) * 32^(k+1) - 1.
  std::vector<std::vector<TRtMinMax>> lod_;

  mutable std::vector<TRtSeries*> related_;
};

// The first index in [lo, hi) whose value is >= v (LowerBound) or > v
// (UpperBound), by bisection; the values must not decrease there.
inline int LowerBound(const TRtDoubleVector& x, int lo, int hi, double v) {
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (x[mid] < v)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}
inline int UpperBound(const TRtDoubleVector& x, int lo, int hi, double v) {
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (x[mid] <= v)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

}  // namespace karvo
