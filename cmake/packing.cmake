# quill_pack(<target> PRODUCT <folder> OUTPUT <exe name> [STUB <target>]
#            [UNINSTALLER_STUB <target>] [PAYLOAD_TARGETS <targets>...] [SKIN_ART <folder>])
# Packs a product folder into an installer in the bin folder at build time.
# PAYLOAD_TARGETS are built programs added to a staged copy of the folder's
# payload. SKIN_ART is a folder of SVG sources and its render.sh: the images
# are rasterised into the staged copy's skin, so no generated PNG needs to
# live in the source tree.
function(quill_pack target)
  cmake_parse_arguments(P "" "PRODUCT;OUTPUT;STUB;UNINSTALLER_STUB;SKIN_ART" "PAYLOAD_TARGETS" ${ARGN})
  if(NOT P_STUB)
    set(P_STUB brixsetup_stub)
  endif()
  if(NOT P_UNINSTALLER_STUB)
    set(P_UNINSTALLER_STUB brixuninst_stub)
  endif()
  set(out ${CMAKE_BINARY_DIR}/bin/${P_OUTPUT})
  file(GLOB_RECURSE inputs CONFIGURE_DEPENDS ${P_PRODUCT}/*)
  set(folder ${P_PRODUCT})
  set(stage_commands)
  set(art_inputs)
  if(P_PAYLOAD_TARGETS OR P_SKIN_ART)
    set(folder ${CMAKE_BINARY_DIR}/staged/${target})
    set(stage_commands COMMAND ${CMAKE_COMMAND} -E rm -rf ${folder}
                       COMMAND ${CMAKE_COMMAND} -E copy_directory ${P_PRODUCT} ${folder})
    foreach(t ${P_PAYLOAD_TARGETS})
      list(APPEND stage_commands COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${t}> ${folder}/payload/)
    endforeach()
    if(P_SKIN_ART)
      file(GLOB art_inputs CONFIGURE_DEPENDS ${P_SKIN_ART}/*.svg)
      list(APPEND art_inputs ${P_SKIN_ART}/render.sh)
      list(APPEND stage_commands COMMAND bash ${P_SKIN_ART}/render.sh ${folder}/skin)
    endif()
  endif()
  add_custom_command(OUTPUT ${out}
    ${stage_commands}
    COMMAND ${QUILL_PACKER} --stub $<TARGET_FILE:${P_STUB}>
            --uninstaller-stub $<TARGET_FILE:${P_UNINSTALLER_STUB}> --product ${folder} --out ${out}
    DEPENDS ${P_STUB} ${P_UNINSTALLER_STUB} ${QUILL_PACKER} ${inputs} ${art_inputs} ${P_PAYLOAD_TARGETS}
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
