# The labels a test may carry; every test carries exactly one, so that one
# layer runs alone (`ctest --preset release -L unit`). wine: the Windows
# build's client-library thunk under Wine (PAGVIGIA_WINE_THUNK).
set(PAGVIGIA_TEST_LABELS unit db e2e fuzz wine)

# pagvigia_enable_testing()
# Turns on CTest with valgrind as the memory checker of `ctest -T memcheck`
# (run on the `db` label): a memory error or a definitely lost block makes the
# test fail.
macro(pagvigia_enable_testing)
  if(NOT PAGVIGIA_SANITIZE AND NOT PAGVIGIA_FUZZ AND NOT WIN32)
    find_program(MEMORYCHECK_COMMAND valgrind REQUIRED)
  endif()
  set(MEMORYCHECK_COMMAND_OPTIONS
      "--quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite"
      CACHE STRING "Options of valgrind under ctest -T memcheck" FORCE)
  # No dashboard targets (Experimental, Nightly, ...): CTest is used locally.
  set_property(GLOBAL PROPERTY CTEST_TARGETS_ADDED 1)
  include(CTest)
  if(WIN32 AND CMAKE_CROSSCOMPILING_EMULATOR)
    # Wine's prefix is made once, before the first test program runs.
    add_test(NAME wine_prefix COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot -i)
    set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 600 LABELS unit)
    set(PAGVIGIA_WINE_FIXTURE ON)
  endif()
endmacro()

function(pagvigia_check_label label)
  if(NOT label IN_LIST PAGVIGIA_TEST_LABELS)
    message(FATAL_ERROR "test label '${label}' is not one of: ${PAGVIGIA_TEST_LABELS}")
  endif()
endfunction()

# pagvigia_test_headers(<target>)
# GoogleTest's and GoogleMock's headers, compiled once per build (in the
# target pagvigia_test_pch, with the same settings as every test program) and
# reused by each test program: they are most of a test file's compile time.
function(pagvigia_test_headers target)
  if(NOT TARGET pagvigia_test_pch)
    file(WRITE ${CMAKE_BINARY_DIR}/pagvigia_test_pch.cpp "// The precompiled test headers' own translation unit.\n")
    add_library(pagvigia_test_pch STATIC ${CMAKE_BINARY_DIR}/pagvigia_test_pch.cpp)
    target_link_libraries(pagvigia_test_pch PRIVATE pagvigia_test_support GTest::gmock GTest::gtest Threads::Threads)
    target_precompile_headers(pagvigia_test_pch PRIVATE <gmock/gmock.h> <gtest/gtest.h>)
  endif()
  target_precompile_headers(${target} REUSE_FROM pagvigia_test_pch)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # With the standard headers precompiled, GCC 12 reports impossible
    # out-of-bounds copies inside std::string concatenation in the tests'
    # expected texts (the -Wrestrict false positive's twins); the shared
    # headers and each test program take the same flags, as reuse requires.
    set(gcc12_false_positives -Wno-array-bounds -Wno-stringop-overflow)
    target_compile_options(pagvigia_test_pch PRIVATE ${gcc12_false_positives})
    target_compile_options(${target} PRIVATE ${gcc12_false_positives})
  endif()
endfunction()

# pagvigia_test(<name> SOURCES ... LIBS ... [LABEL unit|db|e2e|wine])
# Builds one GoogleTest executable and registers its tests with CTest under
# the label (unit unless given).
function(pagvigia_test name)
  cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS" ${ARGN})
  if(T_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "pagvigia_test(${name}): unknown arguments ${T_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  pagvigia_check_label(${T_LABEL})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest GTest::gtest_main Threads::Threads)
  pagvigia_test_headers(${name})
  if(WIN32)
    # One CTest test per program: under Wine, starting a program costs far
    # more than a test case, so the cases are not run one by one.
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES LABELS ${T_LABEL})
    if(PAGVIGIA_WINE_FIXTURE)
      set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix)
    endif()
  else()
    # The end-to-end and database tests take seconds each, most of it
    # waiting: started first, the many quick unit tests fill the other slot
    # instead of the slow ones ending the run on their own.
    set(cost 0)
    if(T_LABEL STREQUAL "e2e")
      set(cost 20)
    elseif(T_LABEL STREQUAL "db")
      set(cost 5)
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${T_LABEL} COST ${cost})
  endif()
endfunction()

# pagvigia_library(<folder> [DEPS ...])
# The static library pagvigia_<folder> made of every .cpp in the calling folder
# (an interface library while the folder holds headers only).
function(pagvigia_library folder)
  cmake_parse_arguments(L "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(srcs)
    add_library(pagvigia_${folder} STATIC ${srcs})
    target_link_libraries(pagvigia_${folder} PUBLIC ${L_DEPS})
  else()
    add_library(pagvigia_${folder} INTERFACE)
    target_link_libraries(pagvigia_${folder} INTERFACE ${L_DEPS})
  endif()
endfunction()

# pagvigia_test_folder(<folder> LIBS ... [LABEL unit|db|e2e] [NOT_ON_WINDOWS <name>_test ...])
# One test executable <folder>_<name> for every <name>_test.cpp in the calling
# folder, so that files of different authors never share an executable.
# A file <name>_win_test.cpp is built for Windows only; the files named in
# NOT_ON_WINDOWS (tests that need the database, the Integrador simulator or
# POSIX facilities) are left out of the Windows build.
function(pagvigia_test_folder folder)
  cmake_parse_arguments(F "" "LABEL" "LIBS;NOT_ON_WINDOWS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(NOT tests)
    message(FATAL_ERROR "no *_test.cpp in ${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  foreach(t ${tests})
    get_filename_component(n ${t} NAME_WE)
    if(WIN32 AND n IN_LIST F_NOT_ON_WINDOWS)
      continue()
    endif()
    if(NOT WIN32 AND n MATCHES "_win_test$")
      continue()
    endif()
    pagvigia_test(${folder}_${n} SOURCES ${t} LIBS ${F_LIBS} LABEL ${F_LABEL})
  endforeach()
endfunction()
