# Fails the build when the code loader's object holds a section that would be
# compressed with the program (debug sections are stripped) or calls
# something that is not an imported system function: either would run before
# it is unpacked.
function(tool_output var)
  execute_process(COMMAND ${ARGN} ${OBJECT} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "${ARGV1} failed on ${OBJECT}")
  endif()
  set(${var} "${out}" PARENT_SCOPE)
endfunction()

tool_output(sections ${OBJDUMP} -h)
string(REGEX MATCHALL "\n +[0-9]+ +[^ ]+" lines "${sections}")
foreach(line ${lines})
  string(REGEX REPLACE "\n +[0-9]+ +" "" name "${line}")
  if(NOT name MATCHES "^\\.(qload|qldata|bss|pdata|xdata)$" AND NOT name MATCHES "^\\.debug_")
    message(FATAL_ERROR "code loader: section ${name} would be compressed with the program")
  endif()
endforeach()
if(NOT sections MATCHES "\\.bss +00000000 " AND sections MATCHES "\\.bss ")
  message(FATAL_ERROR "code loader: zero-initialised data (.bss) would be compressed with the program")
endif()

tool_output(undefined ${NM} -u)
string(REGEX MATCHALL "U [^\n]+" symbols "${undefined}")
foreach(symbol ${symbols})
  string(REGEX REPLACE "^U " "" name "${symbol}")
  if(NOT name MATCHES "^_?_imp_" AND NOT name MATCHES "^_?__ImageBase$")
    message(FATAL_ERROR "code loader: calls ${name}, which would still be compressed when it runs")
  endif()
endforeach()
