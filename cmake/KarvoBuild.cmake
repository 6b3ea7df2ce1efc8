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

# The sanitizer build instruments every target of the tree, libraries
# included, so that a fault anywhere on a test's path is caught.
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
