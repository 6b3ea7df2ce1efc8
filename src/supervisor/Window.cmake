# The main window (Qt 6 Widgets): a thin adapter over karvo_supervisor.
add_library(karvo_window STATIC
  frmFurnaceModule.h frmFurnaceModuleLayout.h frmFurnaceModuleBusy.h
  frmFurnaceModule.cpp frmFurnaceModuleStatus.cpp frmFurnaceModulePages.cpp frmFurnaceModulePagesTools.cpp
  frmFurnaceModuleTick.cpp frmFurnaceModuleController.cpp frmFurnaceModuleCommands.cpp frmFurnaceModuleExport.cpp
  LogView.h LogView.cpp LogViewAccessible.h LogViewAccessible.cpp
  WindowAccessibility.h WindowAccessibility.cpp)
set_target_properties(karvo_window PROPERTIES AUTOMOC ON)
target_include_directories(karvo_window PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(karvo_window
  PUBLIC karvo_supervisor karvo_chart karvo_edits karvo_widgets Qt6::Widgets
  PRIVATE karvo_warnings)
