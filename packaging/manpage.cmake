# Writes the manual page from the built program: `tmx5 --man` prints it in
# roff from the same command table as `tmx5 --help`. Also writes the page
# compressed, as Debian installs it.
#   cmake -DTMX5=<program> -DOUT=<tmx5.1> -P manpage.cmake
execute_process(COMMAND ${TMX5} --man OUTPUT_FILE ${OUT}.tmp RESULT_VARIABLE rc)
file(SIZE ${OUT}.tmp size)
if(NOT rc EQUAL 0 OR size EQUAL 0)
  file(REMOVE ${OUT}.tmp)
  message(FATAL_ERROR "${TMX5} --man failed (${rc})")
endif()
file(RENAME ${OUT}.tmp ${OUT})
execute_process(COMMAND gzip -9nc ${OUT} OUTPUT_FILE ${OUT}.gz RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip ${OUT} failed (${rc})")
endif()
