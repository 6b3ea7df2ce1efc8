#pragma once
// Chart series: a series draws one data vector (Y) against another (X).

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace karvo {

class TRtAxis;
class TRtCustomGraph;
class TRtDoubleVector;

// 32-bit ARGB, alpha in the top byte.
using TRtColor = std::uint32_t;

enum class TRtDashStyle { DashStyleSolid, DashStyleDash, DashStyleDot, DashStyleDashDot, DashStyleDashDotDot };
enum class TRtAreaStyle { Total, Horizontal, Vertical, Cross, DiagCross, BDiagonal, FDiagonal };
enum class TRtPointShape { Circle, Square, Triangle, Diamond };

struct TRtLine {
  TRtColor Color = 0xFF000000;
  double Width = 1.0;
  TRtDashStyle DashStyle = TRtDashStyle::DashStyleSolid;
  bool Visible = true;
};

struct TRtArea {
  bool Visible = false;
  TRtAreaStyle AreaStyle = TRtAreaStyle::Total;
  TRtColor ForeColor = 0xFF000000;
  TRtColor BackColor = 0xFFFFFFFF;
};

struct TRtPointSymbol {
  bool Visible = false;
  double Size = 6.0;
  double BorderLineWidth = 1.0;
  TRtColor BorderColor = 0xFF000000;
  TRtColor FillColor = 0xFFFFFFFF;
  TRtPointShape Shape = TRtPointShape::Circle;
};

// A closed range of values; empty when not valid.
struct TRtRange {
  bool valid = false;
  double start = 0.0;
  double stop = 0.0;
  bool operator==(const TRtRange& o) const {
    return valid == o.valid && (!valid || (start == o.start && stop == o.stop));
  }
};

// The base of every series. Holds non-owning references to its vectors and
// axes; a vector or axis that is destroyed detaches itself.
class TRtSeries {
 public:
  explicit TRtSeries(std::string name = {});
  virtual ~TRtSeries();
  TRtSeries(const TRtSeries&) = delete;
  TRtSeries& operator=(const TRtSeries&) = delete;

  // The object name, used by the legend's ItemsOrderList.
  const std::string& Name() const { return name_; }

  const std::string& Caption() const { return caption_; }
  // Stores the text less its leading blanks and control characters and
  // rebuilds the legend; an unchanged text does nothing.
  void SetCaption(std::string_view text);

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool IncludeInLegend() const { return includeInLegend_; }
  void SetIncludeInLegend(bool include);
  bool AutoUpdate() const { return autoUpdate_; }
  void SetAutoUpdate(bool autoUpdate) { autoUpdate_ = autoUpdate; }

  TRtAxis* XAxis() const { return xAxis_; }
  TRtAxis* YAxis() const { return yAxis_; }
  void SetXAxis(TRtAxis* axis);
  void SetYAxis(TRtAxis* axis);
  const TRtDoubleVector* XData() const { return xData_; }
  const TRtDoubleVector* YData() const { return yData_; }
  void SetXData(const TRtDoubleVector* vector);
  void SetYData(const TRtDoubleVector* vector);

  // Appearance; change through these and call Changed() (or the setters
  // above) so that the graph redraws.
  TRtLine Line;
  TRtArea Area;
  TRtPointSymbol PointSymbol;
  void Changed();

  // Drawing order within the graph (0 is drawn first): the graph keeps its
  // series sorted by the layer asked for and numbers them 0, 1, 2 ...
  int Layer() const;
  void SetLayer(int layer);

  TRtCustomGraph* Graph() const { return graph_; }

  // Visible and at least one of line, area or point symbols visible.
  bool IsShown() const;
  // Points the series draws (0 when it draws nothing).
  virtual int PointCount() const { return drawable_ ? pointCount_ : 0; }
  // Data ranges for axis ranging; empty when the series has no points.
  // Points with a value that is not finite take no part.
  virtual TRtRange XRange() const { return drawable_ ? xRange_ : TRtRange{}; }
  virtual TRtRange YRange() const { return drawable_ ? yRange_ : TRtRange{}; }
  // X of the newest point (the highest index) with finite values: where a
  // moving window follows the data, also after the clock went back. NaN
  // when there is none.
  virtual double XNewest() const { return drawable_ && xRange_.valid ? xNewest_ : kNoValue; }

  // Brings point count and ranges up to date with the vectors. Scans only
  // the values appended since the last call.
  virtual void Recalculate();

  virtual bool IsFunctionSeries() const { return false; }

 protected:
  friend class TRtDoubleVector;
  friend class TRtAxis;
  friend class TRtCustomGraph;

  virtual void VectorAppended(const TRtDoubleVector* vector);
  virtual void VectorCleared(const TRtDoubleVector* vector);
  void DetachVector(const TRtDoubleVector* vector);
  void DetachAxis(TRtAxis* axis);
  void AttachGraph(TRtCustomGraph* graph) { graph_ = graph; }

  void RequestRedraw();
  void FlagAxes();
  void RebuildLegend();
  // Forgets points and ranges (a vector was cleared or replaced).
  void ForgetPoints();

  static constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

  int pointCount_ = 0;
  bool drawable_ = false;
  TRtRange xRange_;
  TRtRange yRange_;
  double xNewest_ = kNoValue;

 private:
  std::string name_;
  std::string caption_;
  bool visible_ = true;
  bool includeInLegend_ = true;
  bool autoUpdate_ = true;
  int layer_ = 0;
  TRtAxis* xAxis_ = nullptr;
  TRtAxis* yAxis_ = nullptr;
  const TRtDoubleVector* xData_ = nullptr;
  const TRtDoubleVector* yData_ = nullptr;
  TRtCustomGraph* graph_ = nullptr;

  // Running extremes of the first scanned_ points.
  int scanned_ = 0;
  double xMin_, xMax_, yMin_, yMax_;
};

class TRtLineSeries : public TRtSeries {
 public:
  using TRtSeries::TRtSeries;
};

class TRtPointSeries : public TRtSeries {
 public:
  using TRtSeries::TRtSeries;
};

// A series that draws a computed curve over a display range.
class TRtFunctionSeries : public TRtSeries {
 public:
  using TRtSeries::TRtSeries;

  double GetCalculationStart() const { return calculationStart_; }
  double GetCalculationStop() const { return calculationStop_; }
  // An unchanged value does nothing; otherwise the series is marked for
  // recalculation.
  void SetCalculationStart(double x);
  void SetCalculationStop(double x);
  bool AutoStart = false;
  bool AutoStop = false;

  double DisplayStart = 0.0;
  double DisplayStop = 0.0;
  bool DisplayAutoStart = false;
  bool DisplayAutoStop = false;
  bool CoupleCalculationAndDisplay = false;
  bool ClipYValues = false;

  // Recalculates when the data or the limits changed; errors propagate.
  virtual void Calculate() = 0;
  // The curve to draw, in data units, in drawing order; empty when there is
  // nothing to draw.
  virtual std::vector<std::pair<double, double>> CurvePoints() const = 0;

  bool IsFunctionSeries() const override { return true; }
  // A function series is recalculated only by Calculate().
  void Recalculate() override {}
  int PointCount() const override { return pointCount_; }

 protected:
  void VectorAppended(const TRtDoubleVector* vector) override;
  void VectorCleared(const TRtDoubleVector* vector) override;

  double calculationStart_ = 0.0;
  double calculationStop_ = 0.0;
  int lastCalculatedCount_ = 0;
};

}  // namespace karvo
