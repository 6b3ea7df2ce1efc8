# The chart's Qt-free model: vectors, series, regression, axes, legend and the
# graph's bookkeeping.
karvo_core_library(karvo_chart_model
  SOURCES
    RtVectors.cpp RtSeries.cpp RtLinearRegression.cpp RtAxis.cpp RtLegend.cpp
    RtCustomGraph.cpp RtRegionalSettings.cpp RtSeriesPoints.cpp
  DEPENDS karvo_common)
