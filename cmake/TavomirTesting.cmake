# GoogleTest from Debian's sources, built with this project's compiler.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
if(WIN32)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
endif()
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# One CTest test per executable: a Wine process start costs seconds.
# tavomir_add_test(target [NEEDS_PKI] [WINDOW])
function(tavomir_add_test target)
  cmake_parse_arguments(ARG "NEEDS_PKI;WINDOW" "" "" ${ARGN})
  if(WIN32)
    target_link_options(${target} PRIVATE -static)
  endif()
  set(work ${CMAKE_BINARY_DIR}/testwork/${target})
  file(MAKE_DIRECTORY ${work})
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES
    ENVIRONMENT "TAVOMIR_SOURCE_DIR=${CMAKE_SOURCE_DIR};TAVOMIR_WORK_DIR=${work};TAVOMIR_PKI_DIR=${CMAKE_BINARY_DIR}/pki;TAVOMIR_BUILD_DIR=${CMAKE_BINARY_DIR}"
    WORKING_DIRECTORY ${work})
  if(ARG_NEEDS_PKI)
    set_tests_properties(${target} PROPERTIES FIXTURES_REQUIRED pki)
  endif()
  if(ARG_WINDOW)
    set_tests_properties(${target} PROPERTIES LABELS window)
  endif()
endfunction()
