# What `cmake --install` puts where (GNUInstallDirs folders below the prefix), in two components:
#   game  bin/potemaru and its assets in share/games/potemaru/assets/
#   sdk   the libraries as <libdir>/libpotemaru-<library>.a, their headers in include/potemaru/, the ad
#         SDK's pictures, pages' styles and price tokens in share/potemaru-sdk/ads/ (for an app's resource
#         folder), potemaru-peers and its data in share/potemaru-sdk/peers/, the CMake package potemaru in
#         <libdir>/cmake/potemaru/ and pkg-config's potemaru-<library> in <libdir>/pkgconfig/; its pages and
#         the examples' sources in share/doc/potemaru-dev/ (cmake/Packaging.cmake)
# <libdir> is CMAKE_INSTALL_LIBDIR: lib/<multiarch triplet> on Debian (cmake/LibDir.cmake).
# No installed file lies in share/potemaru/, the game's home under the prefix ~/.local, nor in any other
# folder named like an app's home (cmake/Paths.cmake names the data folders).
# The installed tree is relocatable: programs find their files from their own place, and the package files
# name the prefix relative to themselves.
include(CMakePackageConfigHelpers)

set(potemaru_game_data "${CMAKE_INSTALL_DATADIR}/${POTEMARU_GAME_DATA_FOLDER}")
# The SDK's data, as the CMake package names it (potemaru_ADS_RESOURCES).
set(potemaru_data "${CMAKE_INSTALL_DATADIR}/${POTEMARU_SDK_DATA_FOLDER}")

if(TARGET potemaru)
  install(TARGETS potemaru RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT game)
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/assets/" DESTINATION "${potemaru_game_data}/assets" COMPONENT game)
endif()

if(TARGET ads)
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/assets/" DESTINATION "${potemaru_data}/ads" COMPONENT sdk
          FILES_MATCHING PATTERN "adfr*" PATTERN "ziz_*" PATTERN "rtb_price_tokens.txt")
endif()

if(TARGET potemaru-peers)
  install(TARGETS potemaru-peers RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT sdk)
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/peers/data/" DESTINATION "${potemaru_data}/peers/data" COMPONENT sdk)
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/peers/tls/" DESTINATION "${potemaru_data}/peers/tls" COMPONENT sdk)
endif()

# One line per pkg-config file, after the library's name.
set(potemaru_describe_platform "The platform layer: values, storage, run loops, networking, media and views")
set(potemaru_describe_kite "The kite 2D engine")
set(potemaru_describe_chime "The Chime audio engine")
set(potemaru_describe_ads "The advertising SDK: placements, banners, popups and the offer wall")
set(potemaru_describe_analytics "The analytics SDK: trackers, hit stores and the dispatcher")
set(potemaru_describe_wire "The wire-message runtime")
set(potemaru_describe_tagmanager "The tag manager: containers, the data layer and tags")

# Where the package files name the prefix from: pkg-config's ${pcfiledir}, the CMake package's own folder.
# Absolute install folders (a -DCMAKE_INSTALL_LIBDIR=/...) are named as they are, and not relocatable.
function(potemaru_prefix_from var folder)
  if(IS_ABSOLUTE "${folder}")
    set(${var} "${CMAKE_INSTALL_PREFIX}" PARENT_SCOPE)
  else()
    file(RELATIVE_PATH up "/prefix/${folder}" "/prefix")
    string(REGEX REPLACE "/$" "" up "${up}")
    set(${var} "${up}" PARENT_SCOPE)
  endif()
endfunction()

function(potemaru_install_folder var folder)
  if(IS_ABSOLUTE "${folder}")
    set(${var} "${folder}" PARENT_SCOPE)
  else()
    set(${var} "\${prefix}/${folder}" PARENT_SCOPE)
  endif()
endfunction()

set(package_links "")
set(pc_dir "${CMAKE_BINARY_DIR}/package/pkgconfig")
file(MAKE_DIRECTORY "${pc_dir}")
potemaru_prefix_from(pc_up "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
if(NOT IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
  set(pc_up "\${pcfiledir}/${pc_up}")
endif()
potemaru_install_folder(pc_libdir "${CMAKE_INSTALL_LIBDIR}")
potemaru_install_folder(pc_includedir "${CMAKE_INSTALL_INCLUDEDIR}")

foreach(lib IN LISTS POTEMARU_SDK_LIBRARIES)
  if(NOT TARGET ${lib})
    continue()
  endif()
  # A distinct name in the system's library folder, where "libplatform.a" could be anyone's.
  set_target_properties(${lib} PROPERTIES OUTPUT_NAME potemaru-${lib})
  install(TARGETS ${lib} ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT sdk)
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/${lib}/" DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/potemaru/${lib}"
          COMPONENT sdk FILES_MATCHING PATTERN "*.h")

  # What the library links, as the package names it: the package's own libraries, and the system's by
  # their pkg-config module ("name=module") or Threads.
  get_property(links GLOBAL PROPERTY POTEMARU_LINK_${lib})
  set(own)
  set(system)
  set(pc_requires)
  set(pc_libs "-L\${libdir} -lpotemaru-${lib}")
  foreach(link IN LISTS links)
    if(link IN_LIST POTEMARU_SDK_LIBRARIES)
      list(APPEND own ${link})
      list(APPEND pc_requires potemaru-${link})
    elseif(link STREQUAL "Threads::Threads")
      list(APPEND system Threads)
      string(APPEND pc_libs " -pthread")
    elseif(link STREQUAL "deps::json")
      # Header-only, and read by the libraries' sources alone: nothing for a program that uses them.
    elseif(link MATCHES "^deps::(.+)$")
      get_property(module GLOBAL PROPERTY POTEMARU_PKG_${CMAKE_MATCH_1})
      if(NOT module)
        message(FATAL_ERROR "${lib} links ${link}, which the installed package cannot name")
      endif()
      list(APPEND system "${CMAKE_MATCH_1}=${module}")
      list(APPEND pc_requires ${module})
    else()
      message(FATAL_ERROR "${lib} links ${link}, which is not installed with it")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES own)
  list(REMOVE_DUPLICATES system)
  list(REMOVE_DUPLICATES pc_requires)
  string(APPEND package_links "set(_potemaru_own_${lib} \"${own}\")\n")
  string(APPEND package_links "set(_potemaru_system_${lib} \"${system}\")\n")

  # Static libraries: Requires (not .private) and Libs carry everything the link needs, in link order.
  list(JOIN pc_requires " " pc_requires)
  file(CONFIGURE OUTPUT "${pc_dir}/potemaru-${lib}.pc" @ONLY CONTENT
       "prefix=${pc_up}
libdir=${pc_libdir}
includedir=${pc_includedir}

Name: potemaru-${lib}
Description: ${potemaru_describe_${lib}}
Version: ${PROJECT_VERSION}
Requires: ${pc_requires}
Libs: ${pc_libs}
Cflags: -I\${includedir}/potemaru
")
  install(FILES "${pc_dir}/potemaru-${lib}.pc" DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig" COMPONENT sdk)
endforeach()

set(package_dir "${CMAKE_INSTALL_LIBDIR}/cmake/potemaru")
set(POTEMARU_PACKAGE_LINKS "${package_links}")
configure_package_config_file(cmake/potemaruConfig.cmake.in "${CMAKE_BINARY_DIR}/package/potemaruConfig.cmake"
                              INSTALL_DESTINATION "${package_dir}"
                              PATH_VARS potemaru_data CMAKE_INSTALL_BINDIR CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR)
write_basic_package_version_file("${CMAKE_BINARY_DIR}/package/potemaruConfigVersion.cmake"
                                 COMPATIBILITY SameMajorVersion)
install(FILES "${CMAKE_BINARY_DIR}/package/potemaruConfig.cmake"
              "${CMAKE_BINARY_DIR}/package/potemaruConfigVersion.cmake"
        DESTINATION "${package_dir}" COMPONENT sdk)
