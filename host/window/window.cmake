# The desktop window (Qt 6 Widgets): TForm1 in host/Pcmain, its controls, the
# host panel and the face picture and icon built in as Qt resources.
add_library(tmx5window STATIC
  ${CMAKE_SOURCE_DIR}/host/Pcmain.cpp
  ${CMAKE_SOURCE_DIR}/host/Pcmain.h
  ${CMAKE_CURRENT_LIST_DIR}/Controls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Controls.h
  ${CMAKE_CURRENT_LIST_DIR}/Layout.h
  ${CMAKE_CURRENT_LIST_DIR}/Recorder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Recorder.h
  ${CMAKE_CURRENT_LIST_DIR}/SimControls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimControls.h
  ${CMAKE_CURRENT_LIST_DIR}/WindowMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowMain.h
  ${CMAKE_CURRENT_LIST_DIR}/WindowPanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowPanel.h
  ${CMAKE_CURRENT_LIST_DIR}/window.qrc)
set_target_properties(tmx5window PROPERTIES AUTOMOC ON AUTORCC ON)
target_compile_definitions(tmx5window PRIVATE TMX5_VERSION="${PROJECT_VERSION}")
target_include_directories(tmx5window PUBLIC ${CMAKE_SOURCE_DIR}/host ${CMAKE_SOURCE_DIR}/firmware)
# The frame converter and frame files (the recording's last frame), the state
# names and saved states, and the script command table (the recorder's lines)
# are all the window shares with the headless host; the script runner stays
# out of it.
target_link_libraries(tmx5window PUBLIC Qt6::Widgets tmx5frames tmx5state tmx5script tmx5sim tmx5fw)

include(${CMAKE_SOURCE_DIR}/tools/facegen/facegen.cmake)
