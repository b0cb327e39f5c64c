# gzip -9n IN into OUT, the way Debian wants documentation compressed.
#   cmake -DIN=<file> -DOUT=<file.gz> -P gzip.cmake
execute_process(COMMAND gzip -9nc ${IN} OUTPUT_FILE ${OUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip ${IN} failed (${rc})")
endif()
