# frame_bench: the program's frame loop on the headless backend against a bare EGL loop
# drawing the same scene, and start-up time against a bare context creation.
if(TARGET app AND TARGET platform_headless)
  add_executable(frame_bench ${CMAKE_CURRENT_SOURCE_DIR}/frame_bench.cpp)
  target_link_libraries(frame_bench PRIVATE app render image platform_headless OpenGL::EGL
                                            OpenGL::OpenGL benchmark::benchmark)
  target_compile_definitions(frame_bench PRIVATE TALVERN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endif()
