# quill_pack(<target> PRODUCT <folder> OUTPUT <exe name> [STUB <target>])
# Packs a product folder into an installer in the bin folder at build time.
function(quill_pack target)
  cmake_parse_arguments(P "" "PRODUCT;OUTPUT;STUB" "" ${ARGN})
  if(NOT P_STUB)
    set(P_STUB brixsetup_stub)
  endif()
  set(out ${CMAKE_BINARY_DIR}/bin/${P_OUTPUT})
  file(GLOB_RECURSE inputs CONFIGURE_DEPENDS ${P_PRODUCT}/*)
  add_custom_command(OUTPUT ${out}
    COMMAND ${QUILL_PACKER} --stub $<TARGET_FILE:${P_STUB}> --product ${P_PRODUCT} --out ${out}
    DEPENDS ${P_STUB} ${QUILL_PACKER} ${inputs}
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
