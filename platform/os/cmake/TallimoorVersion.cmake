# tallimoor_set_version(<target> <major> <minor> <release> <build>)
#
# Gives an executable or shared library the four-part version that
# os::readFileVersion() reads back from its file without loading it: a
# generated source holding the version record is added to the target.
# Each number is a whole number from 0 to 65535.
function(tallimoor_set_version target major minor release build)
  if(NOT TARGET ${target})
    message(FATAL_ERROR "tallimoor_set_version: no target named ${target}")
  endif()
  get_target_property(type ${target} TYPE)
  if(NOT type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|MODULE_LIBRARY)$")
    # An object taken from a static library is left out of the final file
    # when nothing refers to it, so the record would silently be missing.
    message(FATAL_ERROR "tallimoor_set_version: ${target} is a ${type}; only executables and shared libraries carry a version")
  endif()
  set(parts "")
  foreach(number IN ITEMS ${major} ${minor} ${release} ${build})
    if(NOT number MATCHES "^[0-9]+$" OR number GREATER 65535)
      message(FATAL_ERROR "tallimoor_set_version: ${number} is not a version number from 0 to 65535")
    endif()
    # Two little-endian bytes, then (below) the same with every bit inverted.
    math(EXPR low "${number} % 256" OUTPUT_FORMAT HEXADECIMAL)
    math(EXPR high "${number} / 256" OUTPUT_FORMAT HEXADECIMAL)
    math(EXPR inverted_low "255 - (${number} % 256)" OUTPUT_FORMAT HEXADECIMAL)
    math(EXPR inverted_high "255 - (${number} / 256)" OUTPUT_FORMAT HEXADECIMAL)
    list(APPEND values "${low}, ${high}")
    list(APPEND checks "${inverted_low}, ${inverted_high}")
  endforeach()
  list(JOIN values ", " TALLIMOOR_VERSION_VALUES)
  list(JOIN checks ", " TALLIMOOR_VERSION_CHECKS)
  set(TALLIMOOR_VERSION_TARGET ${target})
  set(TALLIMOOR_VERSION_TEXT "${major}.${minor}.${release}.${build}")
  set(generated "${CMAKE_CURRENT_BINARY_DIR}/${target}_file_version.cpp")
  configure_file("${CMAKE_CURRENT_FUNCTION_LIST_DIR}/file_version_record.cpp.in" "${generated}" @ONLY)
  target_sources(${target} PRIVATE "${generated}")
endfunction()
