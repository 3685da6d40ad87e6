# Paths of the checkout and the build, handled as paths. A checkout may live under any folder name (spaces,
# "+ ( ) [ ] # ? ' & $ ; %", letters of any script), so a path is never made into a regular expression, a
# glob pattern or compile-line text, and one that may hold a ";" is never put in a list.

# The installed read-only data, below the data folder (share/): the game's where Debian keeps a game's static
# data, the SDK's in a folder of its own. Neither is named like an app's home (share/<app>/, which a player
# may delete to start over), so no installed file lies in a home.
set(POTEMARU_GAME_DATA_FOLDER games/potemaru)
set(POTEMARU_SDK_DATA_FOLDER potemaru-sdk)

# potemaru_glob(<var> <dir> [RECURSE] <pattern>...): the files in <dir> (and below it, with RECURSE) that
# match any of the glob patterns, which are written relative to <dir> ("*.cpp"). The result is relative to
# <dir> and sorted; the build configures again when the files change (outside script mode).
function(potemaru_glob var dir)
  cmake_parse_arguments(ARG "RECURSE" "" "" ${ARGN})
  # The glob's own characters in the folder's path, each put in brackets, match only themselves.
  string(REGEX REPLACE "([][*?])" "[\\1]" escaped "${dir}")
  set(depends)
  if(NOT CMAKE_SCRIPT_MODE_FILE)
    set(depends CONFIGURE_DEPENDS)
  endif()
  set(mode GLOB)
  if(ARG_RECURSE)
    set(mode GLOB_RECURSE)
  endif()
  set(found)
  foreach(pattern IN LISTS ARG_UNPARSED_ARGUMENTS)
    file(${mode} files ${depends} LIST_DIRECTORIES false RELATIVE "${dir}" "${escaped}/${pattern}")
    list(APPEND found ${files})
  endforeach()
  list(SORT found)
  set(${var} ${found} PARENT_SCOPE)
endfunction()

# potemaru_path_below(<var> <path> <dir>): whether <path> is <dir> or lies below it, compared by whole
# components ("shell" holds "shell/App.cpp", not "shellfish/App.cpp").
function(potemaru_path_below var path dir)
  cmake_path(IS_PREFIX dir "${path}" NORMALIZE below)
  set(${var} ${below} PARENT_SCOPE)
endfunction()

# potemaru_remove_below(<list-var> <dir>...): drops the list's paths that lie below any of the folders.
function(potemaru_remove_below list_var)
  set(kept)
  foreach(path IN LISTS ${list_var})
    set(keep TRUE)
    foreach(dir IN LISTS ARGN)
      potemaru_path_below(below "${path}" "${dir}")
      if(below)
        set(keep FALSE)
      endif()
    endforeach()
    if(keep)
      list(APPEND kept "${path}")
    endif()
  endforeach()
  set(${list_var} ${kept} PARENT_SCOPE)
endfunction()

# potemaru_cxx_string(<var> <text>): <text> as a C++ string literal.
function(potemaru_cxx_string var text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  # "\?" keeps a "??" from reading as a trigraph in any language mode.
  string(REPLACE "?" "\\?" text "${text}")
  string(REPLACE "\n" "\\n" text "${text}")
  string(REPLACE "\r" "\\r" text "${text}")
  set(${var} "\"${text}\"" PARENT_SCOPE)
endfunction()

# potemaru_write_changed(<file> <content>): writes <file> only when its content changes, so a new configure
# makes nothing that depends on it build again.
function(potemaru_write_changed file content)
  set(old)
  if(EXISTS "${file}")
    file(READ "${file}" old)
  endif()
  if(NOT old STREQUAL content)
    file(WRITE "${file}" "${content}")
  endif()
endfunction()

# potemaru_paths_header(<target> <header> <NAME> <path> [<NAME> <path>]...): writes <header> under the build
# folder, one "#define NAME "path"" per pair, and lets <target> include it by that name. Paths reach the code
# this way and not as definitions on the compile line, where the build tool would cut them at a "#". The
# header's text differs from one checkout to another, so a file that includes it compiles anew in every clone:
# only the one file that needs the paths includes it, and that file builds outside the unity batches.
# (Arguments are read one by one: a path holding a ";" would split the list of them.)
function(potemaru_paths_header target header)
  set(dir "${CMAKE_BINARY_DIR}/paths/${target}")
  set(content "// Made by the build (cmake/Paths.cmake): where this checkout's files are.\n#pragma once\n")
  math(EXPR last "${ARGC} - 1")
  foreach(name_at RANGE 2 ${last} 2)
    math(EXPR path_at "${name_at} + 1")
    if(path_at GREATER last)
      message(FATAL_ERROR "potemaru_paths_header: ${ARGV${name_at}} has no path")
    endif()
    potemaru_cxx_string(literal "${ARGV${path_at}}")
    string(APPEND content "#define ${ARGV${name_at}} ${literal}\n")
  endforeach()
  potemaru_write_changed("${dir}/${header}" "${content}")
  if(NOT CMAKE_SCRIPT_MODE_FILE)
    target_include_directories(${target} PRIVATE "${dir}")
  endif()
endfunction()
