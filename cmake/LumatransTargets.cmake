# Shared compile settings and helpers for the project's targets.

add_library(luma_options INTERFACE)
target_compile_options(luma_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
  -Wcast-align -Wunused -Woverloaded-virtual -Wimplicit-fallthrough)
if(LUMA_WERROR)
  target_compile_options(luma_options INTERFACE -Werror)
endif()
# GCC 12's flow-based string and array checks report impossible sizes inside libstdc++ at -O2 and
# above (std::string appends, std::copy of short arrays); keep them as warnings, not errors.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(luma_options INTERFACE -Wno-error=restrict -Wno-error=array-bounds
    -Wno-error=stringop-overflow -Wno-error=stringop-overread)
endif()
if(LUMA_SANITIZE)
  target_compile_options(luma_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer)
  target_link_options(luma_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

# lumatrans_library(<name> DEPS <targets...>)
# One static library per folder under src/: every .cpp in the folder is part of it, and the
# folder's parent (src/) is the include root, so code includes "util/paths.h", "imaging/...".
function(lumatrans_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(luma_${name} STATIC ${sources})
    target_include_directories(luma_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(luma_${name} PUBLIC luma_options ${ARG_DEPS})
  else()
    add_library(luma_${name} INTERFACE)
    target_include_directories(luma_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(luma_${name} INTERFACE luma_options ${ARG_DEPS})
  endif()
endfunction()

# lumatrans_tests(<name> DEPS <targets...>)
# One GoogleTest program per tests/ folder, made of every *_test.cpp there plus the shared helpers.
function(lumatrans_tests name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name}_tests ${sources})
  target_include_directories(${name}_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name}_tests PRIVATE ${ARG_DEPS} luma_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}_tests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "LUMA_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
