# The chart's Qt-free model: vectors, series, regression, axes, legend, the
# graph's bookkeeping and the main window's chart configuration.
karvo_core_library(karvo_chart_model
  SOURCES
    RtVectors.cpp RtSeries.cpp RtLinearRegression.cpp RtAxis.cpp RtLegend.cpp
    RtCustomGraph.cpp RtSeriesPoints.cpp RtTimeGrid.cpp RtMainChart.cpp
  DEPENDS karvo_common)
