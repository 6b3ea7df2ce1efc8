# The chart's painting and image export (Qt 6 Widgets).
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets)
add_library(karvo_chart STATIC RtGraph2D.cpp RtQtRegional.cpp)
target_include_directories(karvo_chart PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(karvo_chart PUBLIC karvo_chart_model Qt6::Widgets PRIVATE karvo_warnings)
