# One static library per layer folder, its sources listed in the folder's CMakeLists.txt. A layer
# links only the layers below it; tools/check_layers.py holds every #include to the same order.

# corvanthelix_layer(<target> SOURCES <files relative to the folder> LINKS <targets below>)
function(corvanthelix_layer target)
  cmake_parse_arguments(LAYER "" "" "SOURCES;LINKS" ${ARGN})
  add_library(${target} STATIC ${LAYER_SOURCES})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC ${LAYER_LINKS})
endfunction()
