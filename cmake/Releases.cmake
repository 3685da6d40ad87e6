# The release history: one file of potemaru_release(VERSION DATE NOTE...) calls, newest first, from which the
# Debian changelog and the AppStream <release> elements are made, so a new version adds an entry and keeps
# those before it.
#
# potemaru_releases(<history> <changelog template> <version>) sets POTEMARU_CHANGELOG (the whole changelog,
# each entry the template configured with entry_version, entry_date and entry_notes) and
# POTEMARU_APPSTREAM_RELEASES (the <release> elements). <version> must be the history's newest entry. The
# newest entry gets the Debian revision POTEMARU_DEB_RELEASE, and the changelog names
# POTEMARU_PACKAGE_MAINTAINER.

# "Thu, 10 Dec 2026 12:00:00 +0000" for 2026-12-10 (noon: the history keeps days).
function(potemaru_rfc2822_date var year month day)
  set(dd "${day}")
  # Days since 1970-01-01 by the proleptic Gregorian calendar, counted from March so leap days fall last.
  foreach(part year month day)
    string(REGEX REPLACE "^0+([0-9])" "\\1" ${part} "${${part}}")
  endforeach()
  set(y ${year})
  if(month LESS_EQUAL 2)
    math(EXPR y "${year} - 1")
  endif()
  math(EXPR era "${y} / 400")
  math(EXPR yoe "${y} - ${era} * 400")
  if(month GREATER 2)
    math(EXPR mp "${month} - 3")
  else()
    math(EXPR mp "${month} + 9")
  endif()
  math(EXPR doy "(153 * ${mp} + 2) / 5 + ${day} - 1")
  math(EXPR days "${era} * 146097 + ${yoe} * 365 + ${yoe} / 4 - ${yoe} / 100 + ${doy} - 719468")
  # 1970-01-01 was a Thursday.
  math(EXPR weekday "(${days} + 3) % 7")
  set(weekdays Mon Tue Wed Thu Fri Sat Sun)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET weekdays ${weekday} wd)
  math(EXPR m "${month} - 1")
  list(GET months ${m} mon)
  set(${var} "${wd}, ${dd} ${mon} ${year} 12:00:00 +0000" PARENT_SCOPE)
endfunction()

# Called by the history, newest release first. Each NOTE is a paragraph: a bullet of the changelog, a <p>
# of the metadata.
function(potemaru_release version date)
  set(where "${_potemaru_history_name}: potemaru_release(${version} ${date} ...)")
  if(NOT version MATCHES "^[0-9]+(\\.[0-9]+)*$" OR NOT date MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$"
     OR CMAKE_MATCH_2 LESS 1 OR CMAKE_MATCH_2 GREATER 12 OR CMAKE_MATCH_3 LESS 1 OR CMAKE_MATCH_3 GREATER 31
     OR ARGC LESS 3)
    message(FATAL_ERROR "${where} needs a version, a date as YYYY-MM-DD and at least one note")
  endif()
  potemaru_rfc2822_date(entry_date ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3})
  if(POTEMARU_RELEASES)
    list(GET POTEMARU_RELEASES -1 newer)
    if(NOT version VERSION_LESS newer)
      message(FATAL_ERROR "${where} follows ${newer}: the history lists the newest release first")
    endif()
    # Only the newest entry is of this packaging's Debian revision.
    set(entry_version "${version}-1")
    string(APPEND POTEMARU_CHANGELOG "\n")
  else()
    set(entry_version "${version}-${POTEMARU_DEB_RELEASE}")
  endif()

  set(entry_notes "")
  set(xml "")
  math(EXPR last "${ARGC} - 1")
  foreach(i RANGE 2 ${last})
    # ARGV<i>, not ARGN: a note may hold a ";".
    string(REGEX REPLACE "[ \t\n]+" " " note "${ARGV${i}}")
    string(STRIP "${note}" note)
    # A bullet wrapped at 78 columns. The words are a list: each ";" is held as a unit separator meanwhile.
    string(ASCII 31 held)
    string(REPLACE ";" "${held}" words "${note}")
    string(REGEX MATCHALL "[^ ]+" words "${words}")
    set(line "  *")
    foreach(word IN LISTS words)
      string(LENGTH "${line} ${word}" length)
      if(length GREATER 78 AND NOT line MATCHES "^ *\\*?$")
        string(APPEND entry_notes "${line}\n")
        set(line "   ")
      endif()
      string(APPEND line " ${word}")
    endforeach()
    string(APPEND entry_notes "${line}\n")
    string(REPLACE "&" "&amp;" note "${note}")
    string(REPLACE "<" "&lt;" note "${note}")
    string(REPLACE ">" "&gt;" note "${note}")
    string(APPEND xml "        <p>${note}</p>\n")
  endforeach()
  string(REGEX REPLACE "\n$" "" entry_notes "${entry_notes}")
  string(REPLACE "${held}" ";" entry_notes "${entry_notes}")
  file(READ "${_potemaru_changelog_template}" template)
  string(CONFIGURE "${template}" entry @ONLY)
  string(APPEND POTEMARU_CHANGELOG "${entry}")
  string(APPEND POTEMARU_APPSTREAM_RELEASES
         "    <release version=\"${version}\" date=\"${date}\">\n      <description>\n${xml}      </description>\n"
         "    </release>\n")
  list(APPEND POTEMARU_RELEASES ${version})
  set(POTEMARU_RELEASES "${POTEMARU_RELEASES}" PARENT_SCOPE)
  set(POTEMARU_CHANGELOG "${POTEMARU_CHANGELOG}" PARENT_SCOPE)
  set(POTEMARU_APPSTREAM_RELEASES "${POTEMARU_APPSTREAM_RELEASES}" PARENT_SCOPE)
endfunction()

function(potemaru_releases history template version)
  get_filename_component(folder "${history}" DIRECTORY)
  get_filename_component(folder "${folder}" NAME)
  get_filename_component(name "${history}" NAME)
  set(_potemaru_history_name "${folder}/${name}")
  set(_potemaru_changelog_template "${template}")
  set(POTEMARU_RELEASES "")
  set(POTEMARU_CHANGELOG "")
  set(POTEMARU_APPSTREAM_RELEASES "")
  include("${history}")
  set(newest "(none)")
  if(POTEMARU_RELEASES)
    list(GET POTEMARU_RELEASES 0 newest)
  endif()
  if(NOT newest STREQUAL version)
    message(FATAL_ERROR "${_potemaru_history_name} has no entry for ${version}, the version of project() "
                        "(its newest is ${newest}): add one, with the date and notes, to release it")
  endif()
  string(REGEX REPLACE "\n$" "" POTEMARU_APPSTREAM_RELEASES "${POTEMARU_APPSTREAM_RELEASES}")
  set(POTEMARU_CHANGELOG "${POTEMARU_CHANGELOG}" PARENT_SCOPE)
  set(POTEMARU_APPSTREAM_RELEASES "${POTEMARU_APPSTREAM_RELEASES}" PARENT_SCOPE)
endfunction()
