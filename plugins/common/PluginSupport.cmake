# Building the filter plug-ins. Each plug-in is a module built against the plug-in header alone (no
# host code), staged into the program folder's plugins/ with its data files. Its logic is a small
# static library of its own, so that the unit tests can reach the parts no host service shows
# (saving the lists), while the tests of its behaviour load the module through the plug-in manager.

# Compile settings every plug-in source gets.
function(corvanthelix_plugin_options target)
  set_target_properties(${target} PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  # Unique symbols would pin the library in the process after the host releases it; a plug-in that
  # is disabled and enabled again is meant to start afresh.
  target_compile_options(${target} PRIVATE -fno-gnu-unique)
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/plugins ${CMAKE_SOURCE_DIR}/filter/plugin_api)
endfunction()

if(NOT TARGET corvanthelix_plugin_support)
  file(GLOB plugin_support_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
  add_library(corvanthelix_plugin_support STATIC ${plugin_support_sources})
  corvanthelix_plugin_options(corvanthelix_plugin_support)
endif()

# Links a plug-in's logic into the unit tests of the plug-ins, once every target exists.
function(corvanthelix_link_plugin_tests logic)
  if(TARGET unit_plugins)
    target_link_libraries(unit_plugins PRIVATE ${logic})
  endif()
endfunction()

# corvanthelix_add_plugin(<target> OUTPUT <file name without .so> LOGIC <sources> ENTRY <sources>
#                         [DATA <files staged beside the library>])
function(corvanthelix_add_plugin target)
  cmake_parse_arguments(PLUGIN "" "OUTPUT" "LOGIC;ENTRY;DATA" ${ARGN})
  add_library(${target}_logic STATIC ${PLUGIN_LOGIC})
  corvanthelix_plugin_options(${target}_logic)
  target_link_libraries(${target}_logic PUBLIC corvanthelix_plugin_support)

  add_library(${target} MODULE ${PLUGIN_ENTRY})
  corvanthelix_plugin_options(${target})
  target_link_libraries(${target} PRIVATE ${target}_logic)
  target_link_options(${target} PRIVATE -Wl,--no-undefined
    -Wl,--version-script=${CMAKE_SOURCE_DIR}/plugins/common/exports.map)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/plugins/common/exports.map)
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME ${PLUGIN_OUTPUT}
    LIBRARY_OUTPUT_DIRECTORY ${CORVANTHELIX_PROGRAM_DIR}/plugins)

  set(staged)
  foreach(file ${PLUGIN_DATA})
    get_filename_component(name ${file} NAME)
    set(dest ${CORVANTHELIX_PROGRAM_DIR}/plugins/${name})
    add_custom_command(OUTPUT ${dest}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_SOURCE_DIR}/${file} ${dest}
      DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    list(APPEND staged ${dest})
  endforeach()
  add_custom_target(${target}_data DEPENDS ${staged})
  # cmake/Install.cmake installs every registered plug-in with its data files.
  set_property(GLOBAL APPEND PROPERTY CORVANTHELIX_PLUGIN_TARGETS ${target})
  foreach(file ${PLUGIN_DATA})
    set_property(GLOBAL APPEND PROPERTY CORVANTHELIX_PLUGIN_DATA ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  endforeach()
  add_dependencies(${target} ${target}_data)
  add_dependencies(corvanthelix_program ${target})

  if(CORVANTHELIX_TESTS)
    # A deferred call expands its arguments when it runs, so the target name is written in now.
    cmake_language(EVAL CODE
      "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]] CALL corvanthelix_link_plugin_tests ${target}_logic)")
  endif()
endfunction()

# corvanthelix_plugin_ui(<target> <sources>): the plug-in's settings pages, Qt widgets built into
# the module (with the shared page helpers of common/ui). Only in a build with the desktop; the
# module then answers the page list and the configure call, otherwise it has no pages.
function(corvanthelix_plugin_ui target)
  if(NOT CORVANTHELIX_WITH_QT)
    return()
  endif()
  target_sources(${target} PRIVATE ${ARGN}
    ${CMAKE_SOURCE_DIR}/plugins/common/ui/EntryListPage.cpp
    ${CMAKE_SOURCE_DIR}/plugins/common/ui/TextEntryDialog.cpp)
  set_target_properties(${target} PROPERTIES AUTOMOC ON)
  target_link_libraries(${target} PRIVATE Qt6::Widgets)
  target_compile_definitions(${target} PRIVATE CORVANTHELIX_PLUGIN_UI)
endfunction()
