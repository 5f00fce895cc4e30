# dialog_capture: records and answers message boxes instead of showing them (a CBT hook on
# Windows, the headless backend elsewhere), for the tests and for bmpdecode.
if(WIN32)
  add_library(dialog_capture STATIC ${CMAKE_CURRENT_SOURCE_DIR}/dialog_capture_win32.cpp)
  target_link_libraries(dialog_capture PUBLIC platform_api)
elseif(TARGET platform_headless)
  add_library(dialog_capture STATIC ${CMAKE_CURRENT_SOURCE_DIR}/dialog_capture_headless.cpp)
  target_link_libraries(dialog_capture PUBLIC platform_headless)
endif()
if(TARGET dialog_capture)
  target_include_directories(dialog_capture PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
endif()
