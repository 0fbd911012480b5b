# Install rules for the installed layout (base/ProgramPaths decides it at start-up from the
# executable's place): <prefix>/bin holds the programs, <prefix>/lib/corvanthelix the translation
# library and plugins/, <prefix>/share/corvanthelix the read-only resources. Everything the program
# writes goes to the user's data folder, so nothing here is written at run time; in particular the
# build's local certificate is not installed (each user's first start makes its own).
set(CORVANTHELIX_INSTALL_LIB lib/corvanthelix)
set(CORVANTHELIX_INSTALL_SHARE share/corvanthelix)

# The installed program finds vexolindra in its private library folder.
set_target_properties(corvanthelix PROPERTIES INSTALL_RPATH "$ORIGIN/../${CORVANTHELIX_INSTALL_LIB}")
install(TARGETS corvanthelix RUNTIME DESTINATION bin)
install(TARGETS vexolindra LIBRARY DESTINATION ${CORVANTHELIX_INSTALL_LIB})
if(TARGET pendraxil)
  install(TARGETS pendraxil RUNTIME DESTINATION bin)
endif()

# Plug-ins register themselves (corvanthelix_add_plugin) with their data files.
get_property(installed_plugins GLOBAL PROPERTY CORVANTHELIX_PLUGIN_TARGETS)
foreach(plugin ${installed_plugins})
  install(TARGETS ${plugin} LIBRARY DESTINATION ${CORVANTHELIX_INSTALL_LIB}/plugins)
endforeach()
get_property(installed_plugin_data GLOBAL PROPERTY CORVANTHELIX_PLUGIN_DATA)
if(installed_plugin_data)
  install(FILES ${installed_plugin_data} DESTINATION ${CORVANTHELIX_INSTALL_LIB}/plugins)
endif()

# Resources, from the sources or from what the build painted into the staged program folder.
install(FILES ${CMAKE_SOURCE_DIR}/resources/spampoints.ini DESTINATION ${CORVANTHELIX_INSTALL_SHARE})
file(GLOB language_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/languages/*.language)
install(FILES ${language_files} DESTINATION ${CORVANTHELIX_INSTALL_SHARE})
if(EXISTS ${CMAKE_SOURCE_DIR}/resources/help)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/help DESTINATION ${CORVANTHELIX_INSTALL_SHARE})
endif()
if(CORVANTHELIX_WITH_QT)
  install(DIRECTORY ${CORVANTHELIX_PROGRAM_DIR}/icons ${CORVANTHELIX_PROGRAM_DIR}/bitmaps
          DESTINATION ${CORVANTHELIX_INSTALL_SHARE})
  install(DIRECTORY ${CORVANTHELIX_HICOLOR_DIR}/ DESTINATION share/icons/hicolor)
  # The plug-ins' page icons are painted beside their libraries.
  install(DIRECTORY ${CORVANTHELIX_PROGRAM_DIR}/plugins/ DESTINATION ${CORVANTHELIX_INSTALL_LIB}/plugins
          FILES_MATCHING PATTERN "*.ico")
endif()

# The desktop: a menu entry and the manual pages.
install(FILES ${CMAKE_SOURCE_DIR}/resources/desktop/corvanthelix.desktop DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/resources/man/corvanthelix.1 DESTINATION share/man/man1)
if(TARGET pendraxil)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/man/pendraxil.1 DESTINATION share/man/man1)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/corvanthelix)
