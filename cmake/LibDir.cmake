# The library folder below every prefix is the one Debian's own -dev packages use, lib/<multiarch triplet>
# (GNUInstallDirs' choice for the prefix /usr), on Debian and the systems made from it: the potemaru-dev
# package, which cpack installs into /usr whatever prefix the build was configured for, keeps its
# libraries, pkg-config files and CMake package where Debian's tools look (pkg-config for a cross build
# too), and every other prefix has the same layout below it. Included before GNUInstallDirs. A folder named
# with -DCMAKE_INSTALL_LIBDIR stays, as does GNUInstallDirs' own choice elsewhere.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT CMAKE_CROSSCOMPILING AND CMAKE_LIBRARY_ARCHITECTURE
   AND EXISTS /etc/debian_version)
  set(multiarch "lib/${CMAKE_LIBRARY_ARCHITECTURE}")
  get_property(libdir_type CACHE CMAKE_INSTALL_LIBDIR PROPERTY TYPE)
  # A build folder configured before the layout moved holds GNUInstallDirs' plain "lib", typed PATH, and
  # GNUInstallDirs' note of the prefix it chose it for; a "lib" typed on the command line at the first
  # configure has no such note.
  if(NOT DEFINED CMAKE_INSTALL_LIBDIR
     OR (NOT DEFINED CACHE{POTEMARU_LIBDIR_SETTLED} AND DEFINED CACHE{_GNUInstallDirs_LAST_CMAKE_INSTALL_PREFIX}
         AND libdir_type STREQUAL "PATH" AND CMAKE_INSTALL_LIBDIR STREQUAL "lib"))
    set(CMAKE_INSTALL_LIBDIR "${multiarch}" CACHE PATH "Object code libraries (${multiarch})" FORCE)
  endif()
  # GNUInstallDirs would take its multiarch folder back to "lib" when the prefix moves away from /usr.
  if(CMAKE_INSTALL_LIBDIR STREQUAL multiarch AND DEFINED CACHE{_GNUInstallDirs_LAST_CMAKE_INSTALL_PREFIX})
    set_property(CACHE _GNUInstallDirs_LAST_CMAKE_INSTALL_PREFIX PROPERTY VALUE "${CMAKE_INSTALL_PREFIX}")
  endif()
  set(POTEMARU_LIBDIR_SETTLED ON CACHE INTERNAL "CMAKE_INSTALL_LIBDIR was given its multiarch default")
endif()
