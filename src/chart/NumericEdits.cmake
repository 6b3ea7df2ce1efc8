# The numeric edit boxes of the Qt shell (whole-number and decimal boxes).
# This folder is entered before the top level looks for Qt, so look here.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
add_library(karvo_edits STATIC
  RtIntegerEdit.h RtIntegerEdit.cpp
  RtFloatEdit.h RtFloatEdit.cpp)
set_target_properties(karvo_edits PROPERTIES AUTOMOC ON)
target_include_directories(karvo_edits PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(karvo_edits PUBLIC Qt6::Widgets PRIVATE karvo_warnings)
