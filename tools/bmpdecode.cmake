# bmpdecode FILE: decodes a BMP with the program's decoder, turning its message boxes into
# one line on stderr (captured by dialog_capture), and writes a binary PPM to stdout.
if(TARGET dialog_capture)
  add_executable(bmpdecode ${CMAKE_CURRENT_SOURCE_DIR}/bmpdecode.cpp)
  target_link_libraries(bmpdecode PRIVATE image dialog_capture)
endif()
