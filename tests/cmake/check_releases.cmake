# A release added to the history (cmake/Releases.cmake) comes first in the Debian changelog and the AppStream
# releases, with its own date, and the releases before it stay as they were; a version the history lacks
# stops with one line. Run:
#   cmake -DWORK=<scratch folder> -P check_releases.cmake
cmake_minimum_required(VERSION 3.25)
set(root "${CMAKE_CURRENT_LIST_DIR}/../..")
include("${root}/cmake/Releases.cmake")

file(READ "${root}/CMakeLists.txt" top)
string(REGEX MATCH "project\\(potemaru VERSION ([0-9.]+)" _ "${top}")
set(current "${CMAKE_MATCH_1}")
set(POTEMARU_DEB_RELEASE 1)
set(POTEMARU_PACKAGE_MAINTAINER "A Maintainer <a@example.org>")
set(template "${root}/packaging/changelog.in")

potemaru_releases("${root}/packaging/releases.cmake" "${template}" "${current}")
set(old_changelog "${POTEMARU_CHANGELOG}")
set(old_releases "${POTEMARU_APPSTREAM_RELEASES}")

file(REMOVE_RECURSE "${WORK}")
file(WRITE "${WORK}/packaging/releases.cmake" "potemaru_release(99.0.1 2027-01-05
  \"Taps land where they are aimed; & <less> is more.\")
include(\"${root}/packaging/releases.cmake\")
")
potemaru_releases("${WORK}/packaging/releases.cmake" "${template}" 99.0.1)

set(entry "potemaru (99.0.1-1) unstable; urgency=medium

  * Taps land where they are aimed; & <less> is more.

 -- A Maintainer <a@example.org>  Tue, 05 Jan 2027 12:00:00 +0000
")
if(NOT POTEMARU_CHANGELOG STREQUAL "${entry}\n${old_changelog}")
  message(FATAL_ERROR "changelog:\n${POTEMARU_CHANGELOG}\nwant the new entry before the old ones:\n${entry}\n${old_changelog}")
endif()
set(release "    <release version=\"99.0.1\" date=\"2027-01-05\">
      <description>
        <p>Taps land where they are aimed; &amp; &lt;less&gt; is more.</p>
      </description>
    </release>")
if(NOT POTEMARU_APPSTREAM_RELEASES STREQUAL "${release}\n${old_releases}")
  message(FATAL_ERROR "releases:\n${POTEMARU_APPSTREAM_RELEASES}\nwant:\n${release}\n${old_releases}")
endif()
# Debian's own reader takes the whole changelog.
file(WRITE "${WORK}/changelog" "${POTEMARU_CHANGELOG}")
execute_process(COMMAND dpkg-parsechangelog -l "${WORK}/changelog" --format rfc822 --all OUTPUT_VARIABLE parsed
                RESULT_VARIABLE status)
string(REGEX MATCHALL "\nVersion: [^\n]*" versions "\n${parsed}")
string(REPLACE "\nVersion: " " " versions "${versions}")
string(FIND "${versions}" " 99.0.1-1; ${current}-1" at)
if(NOT status EQUAL 0 OR NOT at EQUAL 0)
  message(FATAL_ERROR "dpkg-parsechangelog (exit ${status}) reads the versions as:${versions}")
endif()

# A version with no entry.
file(WRITE "${WORK}/missing.cmake" "include(\"${root}/cmake/Releases.cmake\")
potemaru_releases(\"${root}/packaging/releases.cmake\" \"${template}\" 99.0.2)
")
execute_process(COMMAND "${CMAKE_COMMAND}" -P "${WORK}/missing.cmake" RESULT_VARIABLE status ERROR_VARIABLE err)
string(REGEX REPLACE "[ \n]+" " " said "${err}")
string(FIND "${said}" "packaging/releases.cmake has no entry for 99.0.2, the version of project()" at)
if(status EQUAL 0 OR at EQUAL -1)
  message(FATAL_ERROR "a version with no entry passes (exit ${status}): ${err}")
endif()
file(REMOVE_RECURSE "${WORK}")
