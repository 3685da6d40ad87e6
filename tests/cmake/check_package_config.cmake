# Configures a small app against the build's CMake package, laid out as an install below a prefix whose path
# holds a space, and a ";" for CASE semicolon (empty libraries and a stand-in potemaru-peers: nothing is linked). Run:
#   cmake -DCASE=<case> -DPACKAGE=<build>/package -DWORK=<scratch folder> -DCXX=<C++ compiler>
#         -DGENERATOR=<generator> -P check_package_config.cmake
# CASE is unknown_component (a misspelt component is named, with the valid ones), peers (potemaru::peers is
# a component) or semicolon (the app generates: the include folder is taken whole).
cmake_minimum_required(VERSION 3.25)

if(CASE STREQUAL "unknown_component")
  set(components "analytics analytic")
  set(link analytics)
  set(check "")
elseif(CASE STREQUAL "peers")
  set(components "analytics peers")
  set(link analytics)
  set(check "if(NOT TARGET potemaru::peers OR NOT potemaru_peers_FOUND)
  message(FATAL_ERROR \"no potemaru::peers\")
endif()")
elseif(CASE STREQUAL "semicolon")
  set(components wire)
  set(link wire)
  set(check "")
else()
  message(FATAL_ERROR "unknown CASE ${CASE}")
endif()

string(ASCII 59 semicolon)
set(name "pre fix")
if(CASE STREQUAL "semicolon")
  set(name "pre fix${semicolon}x")
endif()
set(prefix "${WORK}/${name}")
file(REMOVE_RECURSE "${WORK}")
set(libraries platform kite chime ads analytics wire tagmanager)
foreach(lib IN LISTS libraries)
  file(WRITE "${prefix}/lib/libpotemaru-${lib}.a" "")
endforeach()
file(MAKE_DIRECTORY "${prefix}/include/potemaru")
file(WRITE "${prefix}/bin/potemaru-peers" "")
file(MAKE_DIRECTORY "${prefix}/lib/cmake/potemaru")
foreach(file potemaruConfig.cmake potemaruConfigVersion.cmake)
  file(COPY_FILE "${PACKAGE}/${file}" "${prefix}/lib/cmake/potemaru/${file}")
endforeach()

# The prefix is named inside the app's own file: a ";" cannot cross a command line as one argument.
string(REPLACE "${semicolon}" "\${semicolon}" name_in_app "${name}")
file(WRITE "${WORK}/app/main.cpp" "int main() {}\n")
file(WRITE "${WORK}/app/CMakeLists.txt" "cmake_minimum_required(VERSION 3.25)
project(app LANGUAGES CXX)
string(ASCII 59 semicolon)
set(potemaru_DIR \"${WORK}/${name_in_app}/lib/cmake/potemaru\")
find_package(potemaru CONFIG REQUIRED COMPONENTS ${components})
${check}
add_executable(app main.cpp)
target_link_libraries(app PRIVATE potemaru::${link})
")

execute_process(COMMAND "${CMAKE_COMMAND}" -S "${WORK}/app" -B "${WORK}/app/build" -G "${GENERATOR}"
                        "-DCMAKE_CXX_COMPILER=${CXX}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
# CMake wraps long messages: the words are compared with the line breaks and indents made single spaces.
string(REGEX REPLACE "[ \n]+" " " said "${out}${err}")

if(CASE STREQUAL "unknown_component")
  set(want "potemaru has no component analytic; its components are platform, kite, chime, ads, analytics, wire, tagmanager, peers")
  string(FIND "${said}" "${want}" at)
  if(status EQUAL 0 OR at EQUAL -1)
    message(FATAL_ERROR "the misspelt component is not named (exit ${status}), want \"${want}\":\n${out}${err}")
  endif()
elseif(NOT status EQUAL 0)
  message(FATAL_ERROR "the app does not configure and generate:\n${out}${err}")
endif()
file(REMOVE_RECURSE "${WORK}")
