# Stages the complete program folder under ${CORVANTHELIX_PROGRAM_DIR}: the executable and the
# translation library land there through the output directories; this adds the data files.

set(STAGED_DATA)
foreach(entry spampoints.ini quillatrest.txt)
  if(EXISTS ${CMAKE_SOURCE_DIR}/resources/${entry})
    add_custom_command(OUTPUT ${CORVANTHELIX_PROGRAM_DIR}/${entry}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/resources/${entry} ${CORVANTHELIX_PROGRAM_DIR}/${entry}
      DEPENDS ${CMAKE_SOURCE_DIR}/resources/${entry})
    list(APPEND STAGED_DATA ${CORVANTHELIX_PROGRAM_DIR}/${entry})
  endif()
endforeach()

# Whole folders copied as they are (languages, help pages, icons and bitmaps drawn at build time add
# themselves to the corvanthelix_program target).
foreach(folder help languages)
  if(EXISTS ${CMAKE_SOURCE_DIR}/resources/${folder})
    file(GLOB_RECURSE folder_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/${folder}/*)
    foreach(f ${folder_files})
      file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR}/resources/${folder} ${f})
      if(folder STREQUAL "languages")
        set(dest ${CORVANTHELIX_PROGRAM_DIR}/${rel})
      else()
        set(dest ${CORVANTHELIX_PROGRAM_DIR}/${folder}/${rel})
      endif()
      add_custom_command(OUTPUT ${dest}
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${f} ${dest}
        DEPENDS ${f})
      list(APPEND STAGED_DATA ${dest})
    endforeach()
  endif()
endforeach()

# No certificate for the local TLS port is staged: the program makes its own at its first start,
# so that no two installations share a private key.

add_custom_target(corvanthelix_program ALL DEPENDS ${STAGED_DATA})
add_dependencies(corvanthelix_program corvanthelix)
