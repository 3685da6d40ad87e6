# Run by cpack on the staged files of each package (CPACK_PRE_BUILD_SCRIPTS): adds what a Debian package
# holds beyond the install, in the forms Debian's policy asks for.
# cpack lists the staged files with glob patterns made from their path, so below a folder whose path holds
# a glob character it would pack nothing.
if(CPACK_TEMPORARY_INSTALL_DIRECTORY MATCHES "[][*?]")
  message(FATAL_ERROR "cpack cannot pack below ${CPACK_TOPLEVEL_DIRECTORY}: its path holds one of [ ] * ?; "
                      "name another folder with cpack -B DIR")
endif()

foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER "${component}" upper)
  set(package "${CPACK_DEBIAN_${upper}_PACKAGE_NAME}")
  set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${component}${CPACK_PACKAGING_INSTALL_PREFIX}")
  if(NOT IS_DIRECTORY "${root}")
    continue()
  endif()

  # The staging folder lies in the build folder, whose path may hold glob characters.
  string(REGEX REPLACE "([][*?])" "[\\1]" pattern_root "${root}")
  set(doc "${root}/share/doc/${package}")

  foreach(program IN LISTS CPACK_POTEMARU_${upper}_PROGRAMS)
    if(EXISTS "${root}/bin/${program}")
      file(MAKE_DIRECTORY "${root}/games")
      file(RENAME "${root}/bin/${program}" "${root}/games/${program}")
    endif()
  endforeach()
  file(GLOB left "${pattern_root}/bin/*")
  if(IS_DIRECTORY "${root}/bin" AND NOT left)
    file(REMOVE_RECURSE "${root}/bin")
  endif()
  file(MAKE_DIRECTORY "${doc}")
  file(COPY_FILE "${CPACK_POTEMARU_SOURCE_PACKAGING_DIR}/copyright" "${doc}/copyright")
  file(COPY_FILE "${CPACK_POTEMARU_PACKAGING_DIR}/changelog" "${doc}/changelog.Debian")
  # -n leaves the name and time out of the archive, so the same files pack to the same bytes.
  set(compress "${doc}/changelog.Debian")
  file(GLOB pages LIST_DIRECTORIES false "${pattern_root}/share/man/man*/*")
  list(FILTER pages EXCLUDE REGEX "\\.gz$")
  list(APPEND compress ${pages})
  foreach(file IN LISTS compress)
    execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "gzip ${file} failed")
    endif()
  endforeach()

  # These packages are not uploaded to Debian's archive, so their first changelog entry has no bug asking
  # for the package to close, which lintian looks for in a first upload there.
  set(overrides "${root}/share/lintian/overrides")
  file(MAKE_DIRECTORY "${overrides}")
  file(WRITE "${overrides}/${package}" "${package}: initial-upload-closes-no-bugs\n")
  file(CHMOD "${overrides}/${package}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

  # Static libraries keep their symbols for linking but not their debug sections, which would make the
  # package many times larger.
  file(GLOB_RECURSE archives LIST_DIRECTORIES false "${pattern_root}/lib/*.a")
  foreach(archive IN LISTS archives)
    execute_process(COMMAND strip --strip-debug --remove-section=.comment "${archive}" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "strip ${archive} failed")
    endif()
  endforeach()

  file(GLOB_RECURSE staged LIST_DIRECTORIES true "${pattern_root}/*")
  foreach(path IN LISTS staged)
    if(IS_DIRECTORY "${path}" AND NOT IS_SYMLINK "${path}")
      file(CHMOD "${path}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                                      WORLD_EXECUTE)
    endif()
  endforeach()
  file(CHMOD "${doc}/copyright" "${doc}/changelog.Debian.gz" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ
                                                                         WORLD_READ)
endforeach()
