# engine_add_test(NAME SOURCES a.cpp b.cpp [LIBS x y] [LABELS l] [TIMEOUT s])
# Builds a GoogleTest program and registers it with ctest. Under the cross
# build each program runs as one Wine process inside the test rig. Every test
# is labelled with its folder under tests/ (scripts/mutants.sh picks tests by
# label).
if(ENGINE_BUILD_TESTS AND NOT TARGET gtest)
  set(GTEST_ROOT_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${GTEST_ROOT_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

set(ENGINE_RIG ${CMAKE_SOURCE_DIR}/scripts/rig.sh)

function(engine_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest gtest_main)
  target_compile_options(${name} PRIVATE ${ENGINE_WARNINGS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(WIN32)
    add_test(NAME ${name}
             COMMAND ${ENGINE_RIG} exec ${CMAKE_BINARY_DIR} $<TARGET_FILE:${name}>
             WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED engine_rig)
  else()
    add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  endif()
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${folder};${T_LABELS}")
endfunction()

# The rig (Xvfb, PulseAudio, wineserver) is started once for a ctest run and
# stopped at its end.
if(WIN32 AND ENGINE_BUILD_TESTS)
  # 64-bit builds run under the 64-bit Wine loader (scripts/rig.sh reads this).
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    file(WRITE ${CMAKE_BINARY_DIR}/wine-arch win64)
  else()
    file(WRITE ${CMAKE_BINARY_DIR}/wine-arch win32)
  endif()
  add_test(NAME rig_start COMMAND ${ENGINE_RIG} start ${CMAKE_BINARY_DIR})
  add_test(NAME rig_stop COMMAND ${ENGINE_RIG} stop ${CMAKE_BINARY_DIR})
  set_tests_properties(rig_start PROPERTIES FIXTURES_SETUP engine_rig TIMEOUT 300)
  set_tests_properties(rig_stop PROPERTIES FIXTURES_CLEANUP engine_rig TIMEOUT 60)
endif()
