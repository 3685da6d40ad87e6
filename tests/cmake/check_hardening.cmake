# A built program has Debian's hardening: RELRO bound at start, the stack protector and, with FORTIFY, the
# fortified calls. Run: cmake -DPROGRAM=<program> -DFORTIFY=<0|1> -P check_hardening.cmake
execute_process(COMMAND readelf -W --program-headers --dynamic --dyn-syms "${PROGRAM}" OUTPUT_VARIABLE elf
                COMMAND_ERROR_IS_FATAL ANY)
set(names RELRO BIND_NOW __stack_chk_fail)
set(patterns "GNU_RELRO" "\\(FLAGS\\)[^\n]*BIND_NOW" " __stack_chk_fail")
if(FORTIFY)
  list(APPEND names "fortified calls")
  list(APPEND patterns " __[a-z0-9_]+_chk[@ \n]")
endif()
foreach(name pattern IN ZIP_LISTS names patterns)
  if(NOT elf MATCHES "${pattern}")
    message(SEND_ERROR "${PROGRAM} has no ${name}")
  endif()
endforeach()
