# Asio, nlohmann/json, GoogleTest and Qt Widgets are most of what a file of ours costs to
# compile. Each set is compiled once per tree, in a target of its own, and every target
# that sees those headers reuses it. A precompiled header is only valid for files
# compiled with the same code-generation flags, hence one set for the test programs and
# one for Qt's position-independent library. GCC only: clang-tidy reads the compile
# database without it (scripts/check_tidy.sh), and the fuzzers' clang tree goes without.
include_guard(GLOBAL)

# Not for a Release build, which is built once by a packager: at -O3 GCC 12 inlines the
# precompiled string code differently and reports overflows that are not there.
set(melodock_pch_default OFF)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT CMAKE_BUILD_TYPE STREQUAL "Release")
  set(melodock_pch_default ON)
endif()
option(MELODOCK_PCH "Precompile Asio, nlohmann/json, GoogleTest and Qt Widgets once per tree"
       ${melodock_pch_default})
if(MELODOCK_PCH)
  # Every file with -pthread, not only those whose libraries ask for it (GStreamer's do):
  # one set of flags lets every target share the precompiled headers.
  add_compile_options(-pthread)
endif()

set(melodock_pch_core_headers <asio.hpp> <nlohmann/json.hpp> <algorithm> <chrono> <functional>
                              <map> <memory> <optional> <string> <string_view> <variant> <vector>)
set(melodock_pch_test_headers ${melodock_pch_core_headers} <gtest/gtest.h> <gmock/gmock.h>)
set(melodock_pch_qt_headers ${melodock_pch_core_headers} <QtWidgets>)

# The targets whose usage requirements reach `target`'s compilation: its own links and,
# through them, every interface link (link-only dependencies bring no headers).
function(melodock_pch_compile_deps target out)
  set(seen)
  get_target_property(queue ${target} LINK_LIBRARIES)
  if(NOT queue)
    set(queue)
  endif()
  while(queue)
    list(POP_FRONT queue dep)
    if(dep MATCHES "^\\$<LINK_ONLY:" OR dep IN_LIST seen OR NOT TARGET ${dep})
      continue()
    endif()
    list(APPEND seen ${dep})
    get_target_property(aliased ${dep} ALIASED_TARGET)
    if(aliased)
      list(APPEND seen ${aliased})
      set(dep ${aliased})
    endif()
    get_target_property(more ${dep} INTERFACE_LINK_LIBRARIES)
    if(more)
      list(APPEND queue ${more})
    endif()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

function(melodock_pch_targets dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    melodock_pch_targets(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(melodock_pch_base name headers)
  set(source ${PROJECT_BINARY_DIR}/pch/${name}.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT "// The precompiled header's own translation unit.\n")
  add_library(${name} OBJECT ${source})
  target_link_libraries(${name} PRIVATE ${ARGN})
  target_precompile_headers(${name} PRIVATE ${headers})
endfunction()

# Included before the folders' targets are defined, called once after them all.
function(melodock_precompile_headers)
  if(NOT MELODOCK_PCH)
    return()
  endif()
  set(core melodock::asio nlohmann_json::nlohmann_json Threads::Threads)
  melodock_pch_base(melodock_pch_core "${melodock_pch_core_headers}" ${core})
  set(bases melodock_pch_core)
  if(TARGET GTest::gmock)
    melodock_pch_base(melodock_pch_test "${melodock_pch_test_headers}" ${core} GTest::gtest
                      GTest::gmock)
    list(APPEND bases melodock_pch_test)
  endif()
  if(TARGET Qt6::Widgets)
    melodock_pch_base(melodock_pch_qt "${melodock_pch_qt_headers}" ${core} Qt6::Widgets)
    list(APPEND bases melodock_pch_qt)
  endif()

  melodock_pch_targets(${PROJECT_SOURCE_DIR} targets)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|OBJECT_LIBRARY)$" OR target IN_LIST bases)
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    list(FILTER sources INCLUDE REGEX "\\.cpp$")
    if(NOT sources)
      continue()
    endif()
    melodock_pch_compile_deps(${target} deps)
    if(NOT "melodock_asio" IN_LIST deps)
      continue()
    endif()
    set(qt ${deps})
    list(FILTER qt INCLUDE REGEX "^Qt6::")
    if("Qt6::Widgets" IN_LIST deps AND type STREQUAL "STATIC_LIBRARY")
      set(base melodock_pch_qt)
    elseif(qt)
      # Qt compiles its programs position-independent too (-fPIC), which no other
      # header set here is; the few files of those programs go without.
      continue()
    elseif("GTest::gtest" IN_LIST deps OR "GTest::gtest_main" IN_LIST deps
           OR "GTest::gmock" IN_LIST deps)
      set(base melodock_pch_test)
    else()
      set(base melodock_pch_core)
    endif()
    if(TARGET ${base})
      target_precompile_headers(${target} REUSE_FROM ${base})
    endif()
  endforeach()
endfunction()
