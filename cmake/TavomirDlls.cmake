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

# tavomir_add_client_dll(name api_target dir...): a client DLL from its
# export list (name.def) and the object library of its exports, linked with
# its runtime inside and copied beside its callers in the dirs.
function(tavomir_add_client_dll name api_target)
  add_library(${name} SHARED api/dll_main.cpp ${name}.def)
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${api_target})
  target_link_options(${name} PRIVATE -static)
  tavomir_copy_dll_beside(${name} ${ARGN})
endfunction()
