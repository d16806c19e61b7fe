# Copies every folder of assets/ into the program folder.
file(GLOB entries LIST_DIRECTORIES true "${SRC}/*")
foreach(entry ${entries})
  if(IS_DIRECTORY ${entry})
    get_filename_component(name ${entry} NAME)
    file(COPY ${entry} DESTINATION ${DST})
  endif()
endforeach()
