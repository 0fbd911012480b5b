# Source lists are globbed so that each subsystem can grow without editing the build files.
# CONFIGURE_DEPENDS makes a new file show up at the next build.

# corvanthelix_sources(OUT dir...): every .cpp below the folders, except those in ui/ folders.
function(corvanthelix_sources out)
  set(result)
  foreach(dir ${ARGN})
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
    list(FILTER found EXCLUDE REGEX "/ui/")
    list(APPEND result ${found})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# corvanthelix_ui_sources(OUT dir...): every .cpp/.h/.ui inside the folders' ui/ subfolders.
function(corvanthelix_ui_sources out)
  set(result)
  foreach(dir ${ARGN})
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/ui/*.cpp
         ${CMAKE_SOURCE_DIR}/${dir}/ui/*.h ${CMAKE_SOURCE_DIR}/${dir}/ui/*.ui)
    list(APPEND result ${found})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()
