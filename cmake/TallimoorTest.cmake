# tallimoor_add_test(<name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>])
#
# Builds one GoogleTest executable and registers each of its tests with CTest.
# Tests find the shared sample tables through TALLIMOOR_SAMPLES.
find_package(GTest REQUIRED)
include(GoogleTest)

set(TALLIMOOR_SAMPLES "${CMAKE_SOURCE_DIR}/../shared/paradox-samples"
    CACHE PATH "Folder of real Paradox tables with reference dumps")

function(tallimoor_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    TALLIMOOR_SAMPLES="${TALLIMOOR_SAMPLES}"
    TALLIMOOR_TEST_BINARY_DIR="${CMAKE_CURRENT_BINARY_DIR}")
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
