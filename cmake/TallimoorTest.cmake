# tallimoor_add_test(<name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>])
#
# Builds one GoogleTest executable and registers each of its tests with CTest.
# Tests find the shared sample tables through TALLIMOOR_SAMPLES, and the tool
# that shows a folder as a network share through TALLIMOOR_SHARE_TOOLS.
find_package(GTest REQUIRED)
include(GoogleTest)

set(TALLIMOOR_SAMPLES "${CMAKE_SOURCE_DIR}/../shared/paradox-samples"
    CACHE PATH "Folder of real Paradox tables with reference dumps")
set(TALLIMOOR_SHARE_TOOLS "${CMAKE_SOURCE_DIR}/../shared/tools"
    CACHE PATH "Folder of share-mounts.sh, which shows one folder as a network share seen from several machines")

function(tallimoor_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    TALLIMOOR_SAMPLES="${TALLIMOOR_SAMPLES}"
    TALLIMOOR_SHARE_TOOLS="${TALLIMOOR_SHARE_TOOLS}"
    TALLIMOOR_TEST_BINARY_DIR="${CMAKE_CURRENT_BINARY_DIR}")
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
