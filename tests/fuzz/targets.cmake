# potemaru_fuzz(<name> <source> LINK <libraries>)
potemaru_fuzz(images ${CMAKE_CURRENT_SOURCE_DIR}/images.cpp LINK platform)
potemaru_fuzz(driver_script ${CMAKE_CURRENT_SOURCE_DIR}/driver_script.cpp LINK kite platform)
