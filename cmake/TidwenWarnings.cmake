# One place for the warning level of every target of ours.
add_library(tidwen_warnings INTERFACE)
target_compile_options(tidwen_warnings INTERFACE
  $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Wno-unused-parameter>)

# A static library made of every source below its folder. Sources are globbed so that adding a
# file needs no edit here; CONFIGURE_DEPENDS makes the build notice new files.
function(tidwen_add_library name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.h")
  if(NOT _srcs MATCHES "\\.cpp")
    # A folder whose code has not been written yet still gives a target to link against.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE "${PROJECT_SOURCE_DIR}/src")
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${_srcs})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE tidwen_warnings)
endfunction()

# A feature folder: a Widgets-free core of every source outside views/, and the views/ below it as a
# second target that may use Qt Widgets. Either is an interface target while it has no code yet.
function(tidwen_add_feature name dir)
  cmake_parse_arguments(ARG "" "" "DEPS;VIEW_DEPS" ${ARGN})
  file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.h")
  list(FILTER _srcs EXCLUDE REGEX "/views/")
  if(_srcs MATCHES "\\.cpp")
    add_library(${name} STATIC ${_srcs})
    target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE tidwen_warnings)
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE "${PROJECT_SOURCE_DIR}/src")
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
  tidwen_add_library(${name}_views "${dir}/views" DEPS ${name} ${ARG_VIEW_DEPS} Qt6::Widgets)
endfunction()
