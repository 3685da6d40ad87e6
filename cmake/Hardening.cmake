# The hardening Debian builds its programs with (what dpkg-buildflags gives with hardening=+all): the stack
# protector, fortified library calls, stack clash and control-flow protection, and a read-only GOT bound at
# start. The game shows web pages in an engine without security support, so every program that is installed
# or packaged is built so.
# The sanitizer builds keep their own instrumentation, which the fortified calls would hide from them.
include(CheckCCompilerFlag)
include(CheckCXXCompilerFlag)

if(SANITIZE OR SANITIZE_THREAD OR FUZZ)
  return()
endif()

foreach(flag -fstack-protector-strong -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "potemaru_has${flag}" var)
  check_c_compiler_flag(${flag} ${var}_c)
  check_cxx_compiler_flag(${flag} ${var}_cxx)
  if(${var}_c AND ${var}_cxx)
    add_compile_options(${flag})
  endif()
endforeach()
add_link_options(LINKER:-z,relro LINKER:-z,now)

# Fortified calls exist only when the compiler optimizes (glibc warns and ignores them otherwise): per build
# type, from the flags it compiles with. The last -O counts, as for the compiler.
function(potemaru_optimizes var config)
  string(TOUPPER "${config}" upper)
  set(flags "${CMAKE_C_FLAGS} ${CMAKE_C_FLAGS_${upper}} ${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${upper}}")
  string(REGEX MATCHALL "(^| )-O[^ ]*" levels "${flags}")
  list(POP_BACK levels last)
  if(last AND NOT last MATCHES "-O0$")
    set(${var} TRUE PARENT_SCOPE)
  else()
    set(${var} FALSE PARENT_SCOPE)
  endif()
endfunction()

# The build types that fortify, for the test that reads the programs (tests/cmake).
set(POTEMARU_FORTIFY_CONFIGS)
get_property(multi GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
if(multi)
  set(configs ${CMAKE_CONFIGURATION_TYPES})
else()
  set(configs "${CMAKE_BUILD_TYPE}")
endif()
foreach(config IN LISTS configs)
  potemaru_optimizes(optimizes "${config}")
  if(optimizes)
    list(APPEND POTEMARU_FORTIFY_CONFIGS "${config}")
    # A compiler that fortifies by default would warn about a second definition.
    add_compile_options($<$<CONFIG:${config}>:-U_FORTIFY_SOURCE> $<$<CONFIG:${config}>:-D_FORTIFY_SOURCE=2>)
  endif()
endforeach()
