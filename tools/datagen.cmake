# datagen: writes Data/'s three corridor pictures. `cmake --build <dir> --target
# regenerate-data` rewrites the committed files in the source tree.
add_executable(datagen ${CMAKE_CURRENT_SOURCE_DIR}/datagen.cpp)
add_custom_target(regenerate-data
  COMMAND datagen ${CMAKE_SOURCE_DIR}/Data
  DEPENDS datagen
  COMMENT "Writing Data/floor1.bmp, Data/pillars1.bmp, Data/ceiling.bmp")
