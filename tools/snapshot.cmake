# talvern-snapshot: renders the corridor on the headless backend and writes a PNG. The
# window/frame helpers and the PNG writer form a small library that the render tests and
# the frame benchmark use too.
if(TARGET platform_headless)
  find_package(ZLIB REQUIRED)
  add_library(snapshot_support STATIC ${CMAKE_CURRENT_SOURCE_DIR}/snapshot_scene.cpp
                                      ${CMAKE_CURRENT_SOURCE_DIR}/snapshot_png.cpp)
  target_include_directories(snapshot_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(snapshot_support PUBLIC render image platform_headless ZLIB::ZLIB)

  add_executable(talvern-snapshot ${CMAKE_CURRENT_SOURCE_DIR}/snapshot_main.cpp)
  target_link_libraries(talvern-snapshot PRIVATE snapshot_support)
  # --version prints the project's version.
  target_compile_definitions(talvern-snapshot PRIVATE TALVERN_VERSION="${PROJECT_VERSION}")
endif()
