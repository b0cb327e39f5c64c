# The face picture and icon generator. Not part of the default build: run
#   cmake --build <build> --target facegen_assets
# to redraw assets/face.jpg, assets/icon.png and the desktop icons in
# assets/icons, then commit them.
add_executable(facegen EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tools/facegen/facegen.cpp)
target_include_directories(facegen PRIVATE ${CMAKE_SOURCE_DIR}/host)
target_link_libraries(facegen PRIVATE Qt6::Gui)
add_custom_target(facegen_assets
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_SOURCE_DIR}/assets/icons
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
          $<TARGET_FILE:facegen> ${CMAKE_SOURCE_DIR}/assets/face.jpg ${CMAKE_SOURCE_DIR}/assets/icon.png
          ${CMAKE_SOURCE_DIR}/assets/icons
  DEPENDS facegen
  COMMENT "Drawing assets/face.jpg, assets/icon.png and assets/icons"
  VERBATIM)
