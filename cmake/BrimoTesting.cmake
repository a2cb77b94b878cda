# Test registration shared by every layer.
#
# Native builds register each GoogleTest case with CTest. Windows builds run under Wine, where
# every start costs seconds, so each test program is one CTest test.
include(GoogleTest)

if(CMAKE_CROSSCOMPILING)
  if(NOT TARGET gtest)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
else()
  find_package(GTest REQUIRED)
endif()

# brimo_add_gtest(name SOURCES a.cpp b.cpp LIBS lib... [DEFINES X=1...]
#                 [LABELS label... [LABEL_CASES gtest-filter]] [RESOURCE_LOCK name])
# LABEL_CASES limits the labels to the cases the filter matches (native builds only).
# RESOURCE_LOCK keeps the cases from running at the same time as other tests holding the same
# lock (tests that share the X server's pointer and screen).
function(brimo_add_gtest name)
  cmake_parse_arguments(T "" "LABEL_CASES;RESOURCE_LOCK" "SOURCES;LIBS;DEFINES;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE ${T_DEFINES})
  brimo_target_options(${name})
  set(properties TIMEOUT 600)
  if(T_RESOURCE_LOCK)
    list(APPEND properties RESOURCE_LOCK ${T_RESOURCE_LOCK})
  endif()
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ${properties} TIMEOUT 900)
    if(T_LABELS)
      set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
    endif()
  elseif(T_LABELS AND T_LABEL_CASES)
    gtest_discover_tests(${name} TEST_FILTER "-${T_LABEL_CASES}"
                         DISCOVERY_TIMEOUT 120 PROPERTIES ${properties})
    gtest_discover_tests(${name} TEST_FILTER "${T_LABEL_CASES}"
                         DISCOVERY_TIMEOUT 120 PROPERTIES ${properties} LABELS "${T_LABELS}")
  elseif(T_LABELS)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES ${properties} LABELS "${T_LABELS}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES ${properties})
  endif()
endfunction()
