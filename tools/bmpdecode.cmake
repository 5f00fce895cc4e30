# bmpdecode [-o OUT] FILE: decodes a BMP with the program's decoder, turning its message
# boxes into one line on stderr (captured by dialog_capture), and writes a binary PPM to
# stdout or to OUT.
if(TARGET dialog_capture)
  add_executable(bmpdecode ${CMAKE_CURRENT_SOURCE_DIR}/bmpdecode.cpp)
  target_link_libraries(bmpdecode PRIVATE image dialog_capture)
  # --version prints the project's version.
  target_compile_definitions(bmpdecode PRIVATE TALVERN_VERSION="${PROJECT_VERSION}")
endif()
