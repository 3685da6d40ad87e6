# The game's place on a desktop (entry, icons, AppStream metadata, manual pages) and the Debian packages:
# `cpack -G DEB` in the build folder makes one package per install component, potemaru (game) and
# potemaru-dev (sdk), into packages/.
include(GNUInstallDirs)

# One id names the desktop entry, the icon and the metadata, so the desktop ties them together.
set(POTEMARU_APP_ID org.potemaru.potemaru)
set(POTEMARU_PACKAGE_MAINTAINER "potemaru developers <potemaru@example.org>"
    CACHE STRING "The Maintainer field of the Debian packages")

set(POTEMARU_VERSION "${PROJECT_VERSION}")
if(NOT POTEMARU_VERSION)
  set(POTEMARU_VERSION 0.0.0)
  message(WARNING "project() names no VERSION: the metadata and the packages say ${POTEMARU_VERSION}")
endif()

# The Debian revision: the packaging is kept apart from the product's own version.
set(POTEMARU_DEB_RELEASE 1)
set(POTEMARU_DEB_VERSION "${POTEMARU_VERSION}-${POTEMARU_DEB_RELEASE}")

set(packaging_src "${PROJECT_SOURCE_DIR}/packaging")
set(packaging_out "${CMAKE_BINARY_DIR}/packaging")

# The release history (packaging/releases.cmake) makes the Debian changelog and the AppStream releases.
include("${PROJECT_SOURCE_DIR}/cmake/Releases.cmake")
potemaru_releases("${packaging_src}/releases.cmake" "${packaging_src}/changelog.in" "${POTEMARU_VERSION}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${packaging_src}/releases.cmake"
                                                               "${packaging_src}/changelog.in")

configure_file("${packaging_src}/${POTEMARU_APP_ID}.metainfo.xml.in" "${packaging_out}/${POTEMARU_APP_ID}.metainfo.xml"
               @ONLY)
# Written only when it changes, as configure_file does.
file(WRITE "${packaging_out}/changelog.new" "${POTEMARU_CHANGELOG}")
configure_file("${packaging_out}/changelog.new" "${packaging_out}/changelog" COPYONLY)

install(FILES "${packaging_src}/${POTEMARU_APP_ID}.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications"
        COMPONENT game)
install(FILES "${packaging_out}/${POTEMARU_APP_ID}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo"
        COMPONENT game)
foreach(size 48 64 128 256)
  install(FILES "${packaging_src}/icons/icon-${size}.png"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps" RENAME "${POTEMARU_APP_ID}.png"
          COMPONENT game)
endforeach()
install(FILES "${packaging_src}/potemaru.6" DESTINATION "${CMAKE_INSTALL_MANDIR}/man6" COMPONENT game)
install(FILES "${packaging_src}/potemaru-peers.1" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT sdk)

# The SDK's pages and the examples' sources, in the sdk package's documentation folder as Debian's -dev
# packages keep theirs: the tour (docs/SDK.md, and STORAGE.md, which it links), the README's part on using
# an SDK as a page of its own (README.md there, cut from the README at each configure, so the README stays
# its one source) and examples/, to copy and build against the installed SDK.
set(POTEMARU_SDK_PACKAGE potemaru-dev)
set(sdk_doc "${CMAKE_INSTALL_DATADIR}/doc/${POTEMARU_SDK_PACKAGE}")
set(sdk_section "## Using an SDK in a project of your own")
file(READ "${PROJECT_SOURCE_DIR}/README.md" readme)
string(FIND "${readme}" "\n${sdk_section}\n" start)
if(start LESS 0)
  message(FATAL_ERROR "README.md has no section \"${sdk_section}\", which the sdk package carries as a page")
endif()
math(EXPR start "${start} + 2")
string(SUBSTRING "${readme}" ${start} -1 readme)
string(FIND "${readme}" "\n## " end)
string(SUBSTRING "${readme}" 0 ${end} readme)
# One level up, the section becomes the page's title; its links to docs/ lead to the pages beside it.
string(REPLACE "[docs/" "[" readme "${readme}")
string(REPLACE "](docs/" "](" readme "${readme}")
string(REGEX REPLACE "^## " "# " readme "${readme}")
string(REGEX REPLACE "\n+$" "\n" readme "${readme}")
file(WRITE "${packaging_out}/README.md.new" "${readme}")
configure_file("${packaging_out}/README.md.new" "${packaging_out}/sdk/README.md" COPYONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/README.md")
install(FILES "${packaging_out}/sdk/README.md" "${PROJECT_SOURCE_DIR}/docs/SDK.md" "${PROJECT_SOURCE_DIR}/docs/STORAGE.md"
        DESTINATION "${sdk_doc}" COMPONENT sdk)
install(DIRECTORY "${PROJECT_SOURCE_DIR}/examples" DESTINATION "${sdk_doc}" COMPONENT sdk)

# Assertions and log lines in what the packages hold name their files from the checkout's root, so no
# installed file names a folder of the machine it was built on. Only the shipped programs and the libraries
# they link are built so: the benchmarks find the checkout from their own file names. (A ";" in the path is
# escaped: the option is one list item.)
string(REPLACE ";" "\\;" prefix_map "-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=")
set(shipped)
set(queue potemaru potemaru-peers platform kite chime ads analytics wire tagmanager)
while(queue)
  list(POP_FRONT queue item)
  string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
  if(NOT TARGET "${item}")
    continue()
  endif()
  get_target_property(aliased "${item}" ALIASED_TARGET)
  if(aliased)
    set(item "${aliased}")
  endif()
  get_target_property(imported "${item}" IMPORTED)
  if(imported OR item IN_LIST shipped)
    continue()
  endif()
  list(APPEND shipped "${item}")
  get_target_property(type "${item}" TYPE)
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    set_property(TARGET "${item}" APPEND PROPERTY COMPILE_OPTIONS "${prefix_map}")
    get_target_property(links "${item}" LINK_LIBRARIES)
    if(links)
      list(APPEND queue ${links})
    endif()
  endif()
  get_target_property(links "${item}" INTERFACE_LINK_LIBRARIES)
  if(links)
    list(APPEND queue ${links})
  endif()
endwhile()

# The manual pages list what --help lists.
if(BUILD_TESTS)
  if(TARGET potemaru)
    add_test(NAME packaging.man_options.potemaru
             COMMAND "${CMAKE_COMMAND}" -DPROGRAM=$<TARGET_FILE:potemaru> "-DPAGE=${packaging_src}/potemaru.6" -P
                     "${packaging_src}/man-options.cmake")
  endif()
  if(TARGET potemaru-peers)
    add_test(NAME packaging.man_options.potemaru-peers
             COMMAND "${CMAKE_COMMAND}" -DPROGRAM=$<TARGET_FILE:potemaru-peers>
                     "-DPAGE=${packaging_src}/potemaru-peers.1" -P "${packaging_src}/man-options.cmake")
  endif()
endif()

# ---- Debian packages
set(CPACK_PACKAGE_NAME potemaru)
set(CPACK_PACKAGE_VENDOR "potemaru developers")
set(CPACK_PACKAGE_VERSION "${POTEMARU_VERSION}")
set(CPACK_PACKAGE_CONTACT "${POTEMARU_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/packages")
set(CPACK_GENERATOR DEB)
set(CPACK_COMPONENTS_ALL game sdk)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_STRIP_FILES ON)
# Folders that install() makes get the usual modes whatever the umask of whoever packs.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_PACKAGE_RELEASE ${POTEMARU_DEB_RELEASE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${POTEMARU_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_GAME_PACKAGE_NAME potemaru)
set(CPACK_DEBIAN_GAME_PACKAGE_SECTION games)
# What the libraries' own dependencies do not bring: Mesa's drivers (software rendering included) and a font
# with Japanese letters for the game's texts.
set(CPACK_DEBIAN_GAME_PACKAGE_DEPENDS "libgl1-mesa-dri, fonts-ipafont-gothic")
set(CPACK_DEBIAN_GAME_DESCRIPTION "casual touch game: tap, absorb and evolve
Creatures walk onto a single play field on timers; tap one and your own
creature walks over to it, knocks it down and absorbs it for points. Each
full gauge evolves your creature into a new form with its own look,
background and music, up to the tenth, and a catalogue keeps a page for
every form reached. Progress is saved after every change.

The game plays in an X11 window with the mouse as the finger, or headless
with scripted touches and captures. It shows a banner and a popup
advertisement and sends anonymous screen-view statistics.")

set(CPACK_DEBIAN_SDK_PACKAGE_NAME ${POTEMARU_SDK_PACKAGE})
set(CPACK_DEBIAN_SDK_PACKAGE_SECTION libdevel)
# The libraries are static: a program that links them needs the development files of every system library
# they use, and their headers include those of GL ES, EGL, OpenAL, cairo, libcurl and uthash. The local
# servers serve the script library of the offer wall's pages from its package.
set(CPACK_DEBIAN_SDK_PACKAGE_DEPENDS
    "pkg-config, libegl-dev, libgles-dev, libx11-dev, libxtst-dev, libxext-dev, libxrandr-dev, libpng-dev, libjpeg-dev, libtiff-dev, \
libwebp-dev, libfreetype-dev, libfontconfig-dev, libcairo2-dev, libpango1.0-dev, libplist-dev, libopenal-dev, \
libsndfile1-dev, libcurl4-openssl-dev | libcurl-dev, libssl-dev, libpcre2-dev, libsqlite3-dev, libtinyxml2-dev, \
libminizip-dev, zlib1g-dev, libwpewebkit-1.1-dev, libwpebackend-fdo-1.0-dev, libwayland-dev, nlohmann-json3-dev, \
uthash-dev, libjs-jquery")
# What the README's next commands run: a build with the CMake package needs cmake and a C++ compiler.
set(CPACK_DEBIAN_SDK_PACKAGE_RECOMMENDS "cmake (>= 3.25), g++ | c++-compiler")
set(CPACK_DEBIAN_SDK_DESCRIPTION "potemaru SDKs: ads, analytics, tag manager, and their engine
Static libraries, headers, a CMake package (find_package(potemaru)) and
pkg-config files (potemaru-<library>) for the libraries behind the potemaru
game: platform, the kite 2D engine, the Chime audio engine, the ad SDK, the
analytics SDK, the wire-message runtime and the tag manager.

potemaru-peers serves the outside parties these SDKs talk to (ad server,
collection server, tag-manager server) on 127.0.0.1, so an app can be tried
against them.")

# After the files are staged: the Debian documents, man pages compressed as Debian's policy asks, the
# static libraries without their debug sections, and the game's program in /usr/games, where Debian keeps
# games (it finds its data from there as from bin/: both lie beside share/).
set(CPACK_POTEMARU_GAME_PROGRAMS potemaru)
set(CPACK_POTEMARU_PACKAGING_DIR "${packaging_out}")
set(CPACK_POTEMARU_SOURCE_PACKAGING_DIR "${packaging_src}")
set(CPACK_PRE_BUILD_SCRIPTS "${packaging_src}/deb-files.cmake")

# A stripped install (cpack strips what it packs) also drops the compilers' .comment notes from the programs.
foreach(program_component potemaru:game potemaru-peers:sdk)
  string(REPLACE ":" ";" program_component "${program_component}")
  list(GET program_component 0 program)
  list(GET program_component 1 component)
  if(TARGET ${program})
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
                          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${program}>\"
                  COMMAND_ERROR_IS_FATAL ANY)
endif()" COMPONENT ${component})
  endif()
endforeach()

include(CPack)
cpack_add_component(game DISPLAY_NAME "Game")
cpack_add_component(sdk DISPLAY_NAME "SDK")
