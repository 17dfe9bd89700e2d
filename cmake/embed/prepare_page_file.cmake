# cmake -DSOURCE=<file> -DOUTPUT=<file> [-DFROM=<text> -DTO=<text>] -P prepare_page_file.cmake
#
# Copies one page file the way the launcher embeds it: without a UTF-8 byte-order mark, every
# line ending in CR LF, and the text FROM replaced by TO. An empty SOURCE writes an empty file.
set(content "")
if(SOURCE)
  file(READ "${SOURCE}" head LIMIT 3 HEX)
  if(head STREQUAL "efbbbf")
    file(READ "${SOURCE}" content OFFSET 3)
  else()
    file(READ "${SOURCE}" content)
  endif()
endif()
string(REPLACE "\r\n" "\n" content "${content}")
string(REPLACE "\n" "\r\n" content "${content}")
if(DEFINED FROM AND NOT FROM STREQUAL "")
  string(REPLACE "${FROM}" "${TO}" content "${content}")
endif()
file(WRITE "${OUTPUT}" "${content}")
