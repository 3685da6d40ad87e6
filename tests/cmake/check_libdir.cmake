# cmake/LibDir.cmake at a first configure: a library folder typed on the command line stays as given, "lib"
# among them, and one left out is Debian's multiarch folder. Run: cmake -DWORK=<dir> -P <this>
file(REMOVE_RECURSE "${WORK}")
file(WRITE "${WORK}/src/CMakeLists.txt" "cmake_minimum_required(VERSION 3.25)\nproject(libdir C)
include(\"${CMAKE_CURRENT_LIST_DIR}/../../cmake/LibDir.cmake\")\ninclude(GNUInstallDirs)
file(WRITE \"\${CMAKE_BINARY_DIR}/libdir.txt\" \"\${CMAKE_INSTALL_LIBDIR}\")\n")
foreach(given "-DCMAKE_INSTALL_LIBDIR:PATH=lib" "-DCMAKE_INSTALL_LIBDIR=lib" "")
  string(MAKE_C_IDENTIFIER "build${given}" build)
  execute_process(COMMAND "${CMAKE_COMMAND}" -S "${WORK}/src" -B "${WORK}/${build}" ${given} OUTPUT_QUIET
                  COMMAND_ERROR_IS_FATAL ANY)
  file(READ "${WORK}/${build}/libdir.txt" libdir)
  if((given AND NOT libdir STREQUAL "lib")
     OR (NOT given AND EXISTS /etc/debian_version AND NOT libdir MATCHES "^lib/."))
    message(FATAL_ERROR "'${given}' gave ${libdir}")
  endif()
endforeach()
