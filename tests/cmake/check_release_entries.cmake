# An entry the AppStream validation would refuse (a day no calendar has, an empty note) stops the configure
# with a line that names the entry's line; a leap day passes. Run: cmake -DWORK=<dir> -P <this>
cmake_minimum_required(VERSION 3.25)
set(root "${CMAKE_CURRENT_LIST_DIR}/../..")
# <case> <entry's date> <its note> <what the error must say, "" when it passes>
foreach(case "day;2026-02-30;A note.;2026-02-30 is no day of the calendar [(]2026-02 has 28 days"
             "century;2100-02-29;A note.;2100-02-29 is no day" "leap;2028-02-29;A note.;"
             "empty;2026-03-01;;note 1 is empty" "blank;2026-03-01; \n ;note 1 is empty")
  list(GET case 0 name)
  list(GET case 1 date)
  list(GET case 2 note)
  list(GET case 3 want)
  file(WRITE "${WORK}/${name}/packaging/releases.cmake" "# The history.\n
potemaru_release(99.0.1 ${date}\n  \"${note}\")\ninclude(\"${root}/packaging/releases.cmake\")\n")
  file(WRITE "${WORK}/${name}/configure.cmake" "include(\"${root}/cmake/Releases.cmake\")
set(POTEMARU_DEB_RELEASE 1)
potemaru_releases(\"${WORK}/${name}/packaging/releases.cmake\" \"${root}/packaging/changelog.in\" 99.0.1)\n")
  execute_process(COMMAND "${CMAKE_COMMAND}" -P "${WORK}/${name}/configure.cmake" RESULT_VARIABLE status
                  ERROR_VARIABLE err)
  string(REGEX REPLACE "[ \n]+" " " err "${err}")
  if(want STREQUAL "" AND NOT status EQUAL 0)
    message(FATAL_ERROR "${name}: the entry dated ${date} is refused: ${err}")
  elseif(NOT want STREQUAL "" AND (status EQUAL 0 OR NOT err MATCHES
         "packaging/releases\\.cmake:3: potemaru_release\\(99\\.0\\.1 ${date} \\.\\.\\.\\): ${want}"))
    message(FATAL_ERROR "${name}: want \"${want}\" for the entry at line 3, exit ${status}: ${err}")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK}")
