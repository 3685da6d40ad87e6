# potemaru_fuzz(<name> <source> LINK <libraries>)
potemaru_fuzz(images ${CMAKE_CURRENT_SOURCE_DIR}/images.cpp LINK platform)
