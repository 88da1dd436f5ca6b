# Compiler settings shared by every target of this project.

# tarvo_project_target(<target> [LIBRARY])
#   Warnings as errors for our own code. LIBRARY also switches off exceptions
#   and RTTI: the driver reports every outcome as a result code.
function(tarvo_project_target target)
  cmake_parse_arguments(arg "LIBRARY" "" "" ${ARGN})
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
      -Wshadow -Wcast-align -Wformat=2 -Wimplicit-fallthrough
      $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
    if(arg_LIBRARY)
      target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
    endif()
  endif()
  # The library has no RTTI, so the sanitizer run leaves out the vptr check.
  if(TARVOSCN_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
      -fno-sanitize-recover=undefined -fno-sanitize=vptr)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()
