# quill_pack(<target> PRODUCT <folder> OUTPUT <exe name> [STUB <target>]
#            [PAYLOAD_TARGETS <targets>...])
# Packs a product folder into an installer in the bin folder at build time.
# PAYLOAD_TARGETS are built programs added to a staged copy of the folder's
# payload.
function(quill_pack target)
  cmake_parse_arguments(P "" "PRODUCT;OUTPUT;STUB" "PAYLOAD_TARGETS" ${ARGN})
  if(NOT P_STUB)
    set(P_STUB brixsetup_stub)
  endif()
  set(out ${CMAKE_BINARY_DIR}/bin/${P_OUTPUT})
  file(GLOB_RECURSE inputs CONFIGURE_DEPENDS ${P_PRODUCT}/*)
  set(folder ${P_PRODUCT})
  set(stage_commands)
  if(P_PAYLOAD_TARGETS)
    set(folder ${CMAKE_BINARY_DIR}/staged/${target})
    set(stage_commands COMMAND ${CMAKE_COMMAND} -E rm -rf ${folder}
                       COMMAND ${CMAKE_COMMAND} -E copy_directory ${P_PRODUCT} ${folder})
    foreach(t ${P_PAYLOAD_TARGETS})
      list(APPEND stage_commands COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${t}> ${folder}/payload/)
    endforeach()
  endif()
  add_custom_command(OUTPUT ${out}
    ${stage_commands}
    COMMAND ${QUILL_PACKER} --stub $<TARGET_FILE:${P_STUB}> --product ${folder} --out ${out}
    DEPENDS ${P_STUB} ${QUILL_PACKER} ${inputs} ${P_PAYLOAD_TARGETS}
    COMMENT "Packing ${P_OUTPUT}")
  add_custom_target(${target} ALL DEPENDS ${out})
endfunction()

function(quill_have_packer result)
  if(QUILL_PACKER AND EXISTS "${QUILL_PACKER}")
    set(${result} TRUE PARENT_SCOPE)
  else()
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()
