# pagvigia_test(<name> SOURCES ... LIBS ... [LABELS ...])
# Builds one GoogleTest executable and registers its tests with CTest.
function(pagvigia_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest GTest::gtest_main Threads::Threads)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${T_LABELS}")
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

# pagvigia_test_folder(<folder> LIBS ...)
# One test executable <folder>_<name> for every <name>_test.cpp in the calling
# folder, so that files of different authors never share an executable.
function(pagvigia_test_folder folder)
  cmake_parse_arguments(F "" "" "LIBS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(t ${tests})
    get_filename_component(n ${t} NAME_WE)
    pagvigia_test(${folder}_${n} SOURCES ${t} LIBS ${F_LIBS} LABELS ${folder})
  endforeach()
endfunction()
