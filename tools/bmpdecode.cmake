# bmpdecode FILE: decodes a BMP with the program's decoder (on the headless backend, whose
# message boxes it turns into one line on stderr) and writes a binary PPM to stdout.
if(TARGET platform_headless)
  add_executable(bmpdecode ${CMAKE_CURRENT_SOURCE_DIR}/bmpdecode.cpp)
  target_link_libraries(bmpdecode PRIVATE image platform_headless)
endif()
