# Helpers shared by every folder's CMakeLists.txt.

set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTORCC ON)
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Network)
include(GoogleTest)

# Warnings for every target of the build (libraries, programs, tests,
# benchmarks); CI turns them into errors.
option(VANDREX_WERROR "Treat compiler warnings as errors" OFF)
add_compile_options(-Wall -Wextra)
if(VANDREX_WERROR)
  add_compile_options(-Werror)
endif()

# A build checked by AddressSanitizer and UndefinedBehaviorSanitizer, every
# target instrumented; its tests get longer time limits.
option(VANDREX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
set(VANDREX_TEST_TIMEOUT_SCALE 1)
if(VANDREX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  # GCC 12 reports false "may be used uninitialized" inside the standard
  # library's regex code once the address sanitizer is on.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
  set(VANDREX_TEST_TIMEOUT_SCALE 4)
endif()
# The environment of every test (and of the processes it starts).
set(VANDREX_TEST_ENVIRONMENT "QT_QPA_PLATFORM=offscreen" "VANDREX_BUILD_DIR=${PROJECT_BINARY_DIR}")
if(VANDREX_SANITIZE)
  list(APPEND VANDREX_TEST_ENVIRONMENT
    "ASAN_OPTIONS=detect_stack_use_after_return=1:strict_init_order=1"
    "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan-suppressions.txt"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endif()
if(VANDREX_TSAN)
  list(APPEND VANDREX_TEST_ENVIRONMENT
    "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/tsan.supp halt_on_error=0 die_after_fork=0 exitcode=66")
endif()

# vandrex_library(<name> SOURCES ... [LIBS ...]) — one static library per folder.
function(vandrex_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -Wall -Wextra)
  if(ARG_LIBS)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  endif()
endfunction()

# vandrex_test(<name> SOURCES ... [LIBS ...] [TIMEOUT seconds]) — a GoogleTest
# executable; ctest lists each of its tests as "<name>.<Suite>.<Test>", each
# with its own time limit (TIMEOUT, 60 s unless given, times
# VANDREX_TEST_TIMEOUT_SCALE for slow builds such as the sanitizer build).
# Tests run headless: Qt uses the offscreen platform.
function(vandrex_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 60)
  endif()
  math(EXPR timeout "${ARG_TIMEOUT} * ${VANDREX_TEST_TIMEOUT_SCALE}")
  gtest_discover_tests(${name}
    TEST_PREFIX "${name}."
    TEST_LIST ${name}_TESTS
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT ${timeout})
  # Discovery splits property values at semicolons, so the environment (a
  # list) is set by a file ctest reads after the discovered tests.
  set(env_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake)
  file(WRITE ${env_file}
    "set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT \"${VANDREX_TEST_ENVIRONMENT}\")\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${env_file})
endfunction()

# Adds every subfolder of the current folder that has a CMakeLists.txt and whose
# name is among the components being built.
function(vandrex_add_component_subdirs)
  foreach(dir IN LISTS VANDREX_COMPONENTS)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()
