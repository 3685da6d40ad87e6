# Paths of the checkout and the build, handled as paths. A checkout may live under any folder name (spaces,
# "+ ( ) [ ] # ? ' & $ ; %", letters of any script), so a path is never made into a regular expression, a
# glob pattern, and one that may hold a ";" is never put in a list.

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
