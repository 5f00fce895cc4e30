# bmp_bench: the BMP decoder against stb_image (Debian libstb-dev, header only) and SDL2's
# BMP loader, plus the read-and-write floor; see bench/README.md.
if(TARGET platform_headless)
  add_executable(bmp_bench ${CMAKE_CURRENT_SOURCE_DIR}/bmp_bench.cpp)
  target_include_directories(bmp_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/image)
  target_link_libraries(bmp_bench PRIVATE image platform_headless benchmark::benchmark
                                          SDL2::SDL2)
endif()
