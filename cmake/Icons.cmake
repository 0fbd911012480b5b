# Icons and bitmaps of the program folder, painted at build time by a small Qt tool
# (tools/IconPainter.cpp) into ${CORVANTHELIX_PROGRAM_DIR}/icons, icons/numbers and bitmaps, and
# the desktop icon in the hicolor theme's sizes into ${CORVANTHELIX_HICOLOR_DIR} for installing.
if(CORVANTHELIX_WITH_QT)
  add_executable(icon_painter ${CMAKE_SOURCE_DIR}/tools/IconPainter.cpp)
  target_link_libraries(icon_painter PRIVATE Qt6::Gui)
  set_target_properties(icon_painter PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
  set(CORVANTHELIX_ICON_STAMP ${CMAKE_BINARY_DIR}/icons.stamp)
  set(CORVANTHELIX_HICOLOR_DIR ${CMAKE_BINARY_DIR}/hicolor)
  add_custom_command(OUTPUT ${CORVANTHELIX_ICON_STAMP}
    COMMAND icon_painter ${CORVANTHELIX_PROGRAM_DIR} ${CORVANTHELIX_HICOLOR_DIR}
    COMMAND ${CMAKE_COMMAND} -E touch ${CORVANTHELIX_ICON_STAMP}
    DEPENDS icon_painter
    COMMENT "Painting the icons and bitmaps")
  add_custom_target(corvanthelix_icons DEPENDS ${CORVANTHELIX_ICON_STAMP})
  add_dependencies(corvanthelix_program corvanthelix_icons)
endif()
