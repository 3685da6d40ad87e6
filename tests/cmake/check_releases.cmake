# A release added to the history comes first in the Debian changelog and the AppStream releases, with its own
# date, before the releases as they were; a version the history lacks stops. Run: cmake -DWORK=<dir> -P <this>
set(root "${CMAKE_CURRENT_LIST_DIR}/../..")
include("${root}/cmake/Releases.cmake")
file(READ "${root}/CMakeLists.txt" top)
string(REGEX MATCH "project\\(potemaru VERSION ([0-9.]+)" _ "${top}")
set(POTEMARU_DEB_RELEASE 1)
set(POTEMARU_PACKAGE_MAINTAINER "A <a@example.org>")
potemaru_releases("${root}/packaging/releases.cmake" "${root}/packaging/changelog.in" ${CMAKE_MATCH_1})
set(old_changelog "${POTEMARU_CHANGELOG}")
set(old_releases "${POTEMARU_APPSTREAM_RELEASES}")

file(WRITE "${WORK}/packaging/releases.cmake" "potemaru_release(99.0.1 2027-01-05 \"Taps hit; & <less> is more.\")
include(\"${root}/packaging/releases.cmake\")\n")
potemaru_releases("${WORK}/packaging/releases.cmake" "${root}/packaging/changelog.in" 99.0.1)
string(CONCAT entry "potemaru (99.0.1-1) unstable; urgency=medium\n\n  * Taps hit; & <less> is more.\n\n"
                    " -- A <a@example.org>  Tue, 05 Jan 2027 12:00:00 +0000\n\n")
string(CONCAT release "    <release version=\"99.0.1\" date=\"2027-01-05\">\n      <description>\n"
                      "        <p>Taps hit; &amp; &lt;less&gt; is more.</p>\n      </description>\n    </release>\n")
if(NOT POTEMARU_CHANGELOG STREQUAL "${entry}${old_changelog}"
   OR NOT POTEMARU_APPSTREAM_RELEASES STREQUAL "${release}${old_releases}")
  message(FATAL_ERROR "want the new release before the old ones:\n${POTEMARU_CHANGELOG}\n${POTEMARU_APPSTREAM_RELEASES}")
endif()
file(WRITE "${WORK}/changelog" "${POTEMARU_CHANGELOG}")
execute_process(COMMAND dpkg-parsechangelog -l "${WORK}/changelog" --all -S Version COMMAND_ERROR_IS_FATAL ANY)

file(WRITE "${WORK}/missing.cmake" "include(\"${root}/cmake/Releases.cmake\")
potemaru_releases(\"${root}/packaging/releases.cmake\" \"${root}/packaging/changelog.in\" 99.0.2)\n")
execute_process(COMMAND "${CMAKE_COMMAND}" -P "${WORK}/missing.cmake" RESULT_VARIABLE status ERROR_VARIABLE err)
string(REGEX REPLACE "[ \n]+" " " err "${err}")
if(status EQUAL 0 OR NOT err MATCHES "packaging/releases.cmake has no entry for 99\\.0\\.2, the version of project")
  message(FATAL_ERROR "a version with no entry passes (exit ${status}): ${err}")
endif()
file(REMOVE_RECURSE "${WORK}")
