# potemaru_version_header(<target>): lets <target> include "PotemaruVersion.h", which defines POTEMARU_VERSION
# as the project's version ("1.0.0"). The header is the same in every clone, so it costs no recompilation.
function(potemaru_version_header target)
  set(dir "${CMAKE_BINARY_DIR}/version")
  set(content "// Made by the build (cmake/Version.cmake) from project()'s VERSION.\n#pragma once\n")
  string(APPEND content "#define POTEMARU_VERSION \"${PROJECT_VERSION}\"\n")
  potemaru_write_changed("${dir}/PotemaruVersion.h" "${content}")
  target_include_directories(${target} PRIVATE "${dir}")
endfunction()
