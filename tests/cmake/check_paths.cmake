# Checks the path helpers of cmake/Paths.cmake in a folder named with the characters a checkout's path may
# hold, beside a folder that its name would match as a glob pattern. Run:
#   cmake -DWORK=<scratch folder> -DCXX=<C++ compiler> -P check_paths.cmake
cmake_minimum_required(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/../../cmake/Paths.cmake")

function(expect what got want)
  if(NOT got STREQUAL want)
    message(SEND_ERROR "${what}:\n  got  [${got}]\n  want [${want}]")
  endif()
endfunction()

set(root "${WORK}/c++ (old) [x] #1 ?;'&$% ゲーム")
set(lookalike "${WORK}/c++ (old) x #1 a;'&$% ゲーム")
file(REMOVE_RECURSE "${WORK}")
foreach(file a.cpp main.cpp deep/b.c shell/c.cpp shellfish/d.cpp notes.txt)
  file(WRITE "${root}/lib/${file}" "")
endforeach()
file(WRITE "${lookalike}/lib/lookalike.cpp" "")

potemaru_glob(found "${root}/lib" RECURSE *.cpp *.c)
expect("recursive glob" "${found}" "a.cpp;deep/b.c;main.cpp;shell/c.cpp;shellfish/d.cpp")
potemaru_glob(top "${root}/lib" *.cpp)
expect("glob" "${top}" "a.cpp;main.cpp")
potemaru_remove_below(found shell)
expect("below shell/ removed" "${found}" "a.cpp;deep/b.c;main.cpp;shellfish/d.cpp")
potemaru_path_below(below "${root}/lib/a.cpp" "${root}")
expect("a file below the folder" "${below}" "ON")
potemaru_path_below(below "${root}x/a.cpp" "${root}")
expect("a file beside the folder" "${below}" "OFF")

# The header's literals, compiled and printed, give back the path and a text with quotes, backslashes,
# a "??=" and a line break.
set(odd "say \"hi\" C:\\dir ??= two\nlines")
set(CMAKE_BINARY_DIR "${root}/build")
potemaru_paths_header(demo Demo.h DEMO_ROOT "${root}" DEMO_ODD "${odd}")
file(WRITE "${root}/demo.cpp"
     "#include <cstdio>\n#include \"Demo.h\"\nint main() { std::printf(\"%s|%s\", DEMO_ROOT, DEMO_ODD); }\n")
execute_process(COMMAND "${CXX}" -std=c++20 "-I${root}/build/paths/demo" "${root}/demo.cpp" -o "${root}/demo"
                RESULT_VARIABLE status ERROR_VARIABLE errors)
expect("the header compiles" "${status}: ${errors}" "0: ")
execute_process(COMMAND "${root}/demo" OUTPUT_VARIABLE printed)
expect("the header's strings" "${printed}" "${root}|${odd}")

file(REMOVE_RECURSE "${WORK}")
