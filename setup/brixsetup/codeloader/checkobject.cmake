# Fails the build when the code loader's object holds a section that would be
# compressed with the program (debug sections are stripped) or calls
# something that is not an imported system function: either would run before
# it is unpacked.

# Runs `tool <args> OBJECT`; each name in its output (what follows `prefix`
# on a line) must match `allowed`, else the build stops with `problem`.
function(require_names prefix allowed problem)
  execute_process(COMMAND ${ARGN} ${OBJECT} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "${ARGV3} failed on ${OBJECT}")
  endif()
  string(REGEX MATCHALL "${prefix}[^ \n]+" lines "${out}")
  foreach(line ${lines})
    string(REGEX REPLACE "^${prefix}" "" name "${line}")
    if(NOT name MATCHES "${allowed}")
      message(FATAL_ERROR "code loader: ${name} ${problem}")
    endif()
  endforeach()
endfunction()

# (.bss: compilers always emit one; it must stay empty.)
require_names("\n +[0-9]+ +" "^\\.(qload|qldata|bss|pdata|xdata|debug_.*)$"
  "is a section that would be compressed with the program" ${OBJDUMP} -h)
require_names("\n +[0-9]+ +\\.bss +" "^0+$" "bytes of zero-initialised data would be compressed with the program"
  ${OBJDUMP} -h)
require_names("U " "^_?(_imp_.*|__ImageBase)$"
  "is called, and would still be compressed when it runs" ${NM} -u)
