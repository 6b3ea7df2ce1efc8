# Build helpers shared by every folder: the warning flags, core libraries and
# the folders that join the build by having a CMakeLists.txt.

# One interface target carries the project's warning flags; every target of
# the project links it privately, so third-party code built in the same tree
# (GoogleTest for the cross build) keeps its own flags.
add_library(karvo_warnings INTERFACE)
target_compile_options(karvo_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(KARVO_WERROR)
  target_compile_options(karvo_warnings INTERFACE -Werror)
endif()

# <windows.h> without the rarely used parts (printing, sockets, shell, OLE):
# less to parse, and none of their macros (SetPort and the like) renames a
# member function of ours in the files that include it after our headers.
if(WIN32)
  add_compile_definitions(WIN32_LEAN_AND_MEAN)
endif()

# gold (with gcc) and lld (with clang) link the test programs in about half
# the time of the default linker; used where the toolchain has them (not the
# cross build's).
include(CheckLinkerFlag)
if(NOT CMAKE_CROSSCOMPILING AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  check_linker_flag(CXX "-fuse-ld=gold" KARVO_LINKER_GOLD)
  if(KARVO_LINKER_GOLD)
    add_link_options(-fuse-ld=gold)
  endif()
elseif(NOT CMAKE_CROSSCOMPILING AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  check_linker_flag(CXX "-fuse-ld=lld" KARVO_LINKER_LLD)
  if(KARVO_LINKER_LLD)
    add_link_options(-fuse-ld=lld)
  endif()
endif()

# The sanitizer build instruments every target of the tree, libraries
# included, so that a fault anywhere on a test's path is caught; scripts/test
# runs the whole suite in it (the sanitize preset: clang, whose instrumented
# build of the tree costs a third of gcc's, at -O0).
if(KARVO_SANITIZE)
  set(karvo_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${karvo_sanitize_flags})
  add_link_options(${karvo_sanitize_flags})
endif()

# The fuzz build instruments every target of the tree for the fuzzer's
# coverage and with AddressSanitizer and UndefinedBehaviorSanitizer; only the
# fuzz programs link the fuzzer's main (fuzz/CMakeLists.txt).
if(KARVO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KARVO_FUZZ needs clang (scripts/fuzz configures it)")
  endif()
  set(karvo_fuzz_flags -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${karvo_fuzz_flags})
  add_link_options(-fsanitize=address,undefined)
endif()

# karvo_core_library(<name> SOURCES ...): a Qt-free static library whose
# headers are included as "<folder>/<Header>.h" from src/.
function(karvo_core_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE karvo_warnings)
endfunction()

# Adds every subfolder of the current folder that has a CMakeLists.txt, in
# name order (tests/<area>, bench/<area>, tools/<tool>).
function(karvo_add_subfolders)
  file(GLOB entries LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} *)
  list(SORT entries)
  foreach(entry IN LISTS entries)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${entry} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${entry}/CMakeLists.txt)
      add_subdirectory(${entry})
    endif()
  endforeach()
endfunction()

# Precompiled headers: every target of the project (those linking
# karvo_warnings) with three C++ sources or more that links GoogleTest or Qt
# precompiles the heavy headers its sources share, once per target: the
# standard library's most used headers, GoogleTest in test programs and the
# Qt Widgets headers in targets that link Qt. New targets and new sources take part on their own;
# karvo_precompile_headers() runs once, after every folder has been added.
# (ccache caches such compilations only with sloppiness pch_defines,time_macros.)
# Off in the Windows build: with the header, mingw-w64 gcc 12 at -O3 warns
# (-Warray-bounds) inside its own inline wmemcpy, an error with warnings as
# errors; that build runs in the background of the native tests anyway.
option(KARVO_PCH "Precompile the heavy common headers in every target with several sources" ON)
set(KARVO_PCH_STD
  <algorithm> <atomic> <chrono> <cstdint> <filesystem> <functional> <map> <memory> <mutex> <optional>
  <string> <thread> <vector>)
set(KARVO_PCH_GTEST <gtest/gtest.h>)
set(KARVO_PCH_QT
  <QApplication> <QComboBox> <QLabel> <QLineEdit> <QPainter> <QPushButton> <QString> <QTimer> <QWidget>)

# Sets <out> to TRUE when <target> links, directly or through its libraries,
# a target whose name matches <regex>.
function(karvo_links_matching target regex out)
  set(seen)
  set(queue ${target})
  set(found FALSE)
  while(queue AND NOT found)
    list(POP_FRONT queue t)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" t "${t}")
    if(t MATCHES "${regex}")
      set(found TRUE)  # imported targets are known by name only outside their folder
    endif()
    if(t IN_LIST seen OR NOT TARGET ${t})
      continue()
    endif()
    list(APPEND seen ${t})
    get_target_property(type ${t} TYPE)
    set(libs)
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(direct ${t} LINK_LIBRARIES)
      if(direct)
        list(APPEND libs ${direct})
      endif()
    endif()
    get_target_property(interface ${t} INTERFACE_LINK_LIBRARIES)
    if(interface)
      list(APPEND libs ${interface})
    endif()
    list(APPEND queue ${libs})
  endwhile()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

function(karvo_precompile_headers_in dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(t IN LISTS targets)
    get_target_property(type ${t} TYPE)
    if(NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|OBJECT_LIBRARY)$")
      continue()
    endif()
    get_target_property(libs ${t} LINK_LIBRARIES)
    if(NOT libs OR NOT "karvo_warnings" IN_LIST libs)
      continue()  # not the project's own (the cross build's GoogleTest)
    endif()
    get_target_property(sources ${t} SOURCES)
    list(FILTER sources INCLUDE REGEX "\\.cpp")
    list(LENGTH sources count)
    if(count LESS 3)
      continue()
    endif()
    karvo_links_matching(${t} "^GTest::" tests)
    karvo_links_matching(${t} "^Qt6::" qt)
    if(NOT tests AND NOT qt)
      continue()  # the standard headers alone cost about as much as they save
    endif()
    set(headers ${KARVO_PCH_STD})
    if(tests)
      list(APPEND headers ${KARVO_PCH_GTEST})
    endif()
    if(qt)
      list(APPEND headers ${KARVO_PCH_QT})
    endif()
    target_precompile_headers(${t} PRIVATE ${headers})
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    karvo_precompile_headers_in(${sub})
  endforeach()
endfunction()

function(karvo_precompile_headers)
  if(KARVO_PCH)
    karvo_precompile_headers_in(${PROJECT_SOURCE_DIR})
  endif()
endfunction()
