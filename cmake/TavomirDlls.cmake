# The client DLLs are bound by name at load time, so each sits beside every
# program that loads it.
# tavomir_copy_dll_beside(target dir...): dirs relative to the build folder.
function(tavomir_copy_dll_beside target)
  foreach(dir ${ARGN})
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/${dir}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${target}> ${CMAKE_BINARY_DIR}/${dir}/
      VERBATIM)
  endforeach()
endfunction()

# Every folder holding a program that loads the signing component, which
# imports both client DLLs, or a client DLL's own tests.
set(TAVOMIR_CLIENT_DLL_DIRS signer tests/signer tests/com tests/dunmere tests/halvery tests/screenshots bench/sign)
