# The packer's sources, one list for the native tool and for quillpack.exe of
# the Windows builds (both made by tools/packer/CMakeLists.txt), so the two
# cannot drift apart. Included with the packer's folder as CMAKE_CURRENT_LIST_DIR.
get_filename_component(QUILLPACK_REPO ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
# The chunk converter, the item-name rule and the streaming decoder are the
# installer host's own.
set(QUILLPACK_ENGINE ${QUILLPACK_REPO}/setup/brixsetup/utility/brixscriptengine)
set(QUILLPACK_SETUP ${QUILLPACK_REPO}/setup/brixsetup)
set(QUILLPACK_PUGIXML ${QUILLPACK_REPO}/third_party/build/pugixml)
set(QUILLPACK_INCLUDES ${CMAKE_CURRENT_LIST_DIR} ${QUILLPACK_ENGINE} ${QUILLPACK_ENGINE}/functions/extract
    ${CMAKE_CURRENT_LIST_DIR}/check ${QUILLPACK_SETUP}/codeloader ${QUILLPACK_SETUP}/toolkit ${QUILLPACK_SETUP}/brixinstaller
    ${QUILLPACK_SETUP}/brixinstaller/window ${QUILLPACK_PUGIXML})

set(_here ${CMAKE_CURRENT_LIST_DIR})
# Everything but main.cpp, so tests can link it.
set(QUILLPACK_SOURCES
  ${_here}/blockencoder.cpp
  ${_here}/chunkcompiler.cpp
  ${_here}/filebytes.cpp
  ${_here}/folderlisting.cpp
  ${_here}/iconresource.cpp
  ${_here}/manifestresource.cpp
  ${_here}/payload.cpp
  ${_here}/payloadcheck.cpp
  ${_here}/payloadswitches.cpp
  ${_here}/pelayout.cpp
  ${_here}/peresources.cpp
  ${_here}/productfolder.cpp
  ${_here}/progress.cpp
  ${_here}/resourcetree.cpp
  ${_here}/sevenzipheader.cpp
  ${_here}/sevenzipwriter.cpp
  ${_here}/signing.cpp
  ${_here}/skinzip.cpp
  ${_here}/sourcedate.cpp
  ${_here}/stubcode.cpp
  ${_here}/usage.cpp
  ${_here}/utf16.cpp
  ${_here}/versionresource.cpp
  ${_here}/zipwriter.cpp
  # --check: the toolkit's own layout reader (with pugixml) and the host's
  # tables of hooks, configuration globals and window controls.
  ${_here}/check/checkreport.cpp
  ${_here}/check/chunkcheck.cpp
  ${_here}/check/chunkglobals.cpp
  ${_here}/check/productcheck.cpp
  ${_here}/check/skincheck.cpp
  ${QUILLPACK_SETUP}/toolkit/attrvalue.cpp
  ${QUILLPACK_SETUP}/toolkit/imagenames.cpp
  ${QUILLPACK_SETUP}/toolkit/layoutdoc.cpp
  ${QUILLPACK_SETUP}/toolkit/skinarchive.cpp
  ${QUILLPACK_SETUP}/toolkit/uidiag.cpp
  ${QUILLPACK_PUGIXML}/pugixml.cpp
  ${QUILLPACK_ENGINE}/chunklayout.cpp
  ${QUILLPACK_ENGINE}/functions/extract/decodeahead.cpp
  ${QUILLPACK_ENGINE}/functions/extract/folderstream.cpp
  ${QUILLPACK_ENGINE}/functions/extract/itemname.cpp
)
# What each system does its own way.
if(WIN32)
  list(APPEND QUILLPACK_SOURCES
    ${_here}/console_windows.cpp ${_here}/files_windows.cpp ${_here}/stopsignal_windows.cpp
    ${_here}/toolrunner_windows.cpp ${_here}/windowstext.cpp)
else()
  list(APPEND QUILLPACK_SOURCES
    ${_here}/console_posix.cpp ${_here}/files_posix.cpp ${_here}/stopsignal_posix.cpp ${_here}/toolrunner_posix.cpp)
endif()
set(QUILLPACK_MAIN ${_here}/main.cpp)

# The LZMA SDK's C files: the installer's 7z decoder (what
# scripts/bootstrap.sh builds for Windows as liblzmadec.a) and the encoders.
set(QUILLPACK_LZMA_DECODER 7zArcIn 7zDec 7zStream 7zBuf 7zCrc 7zCrcOpt CpuArch LzmaDec Lzma2Dec Bra Bra86 BraIA64
    Bcj2 Delta)
set(QUILLPACK_LZMA_ENCODER LzmaEnc Lzma2Enc LzFind LzFindMt LzFindOpt MtCoder MtDec Threads)
file(GLOB QUILLPACK_SDK LIST_DIRECTORIES true ${QUILLPACK_REPO}/third_party/src/7zip-*/C)
list(FILTER QUILLPACK_SDK INCLUDE REGEX "/C$")
if(NOT QUILLPACK_SDK)
  message(FATAL_ERROR "LZMA SDK sources missing in ${QUILLPACK_REPO}/third_party/src: run scripts/bootstrap.sh")
endif()
list(GET QUILLPACK_SDK 0 QUILLPACK_SDK)

# quillpack_lzma_library(<target> <file names...>): the SDK files as a static
# library; warnings are the SDK's own.
function(quillpack_lzma_library target)
  set(_sources)
  foreach(_f ${ARGN})
    list(APPEND _sources ${QUILLPACK_SDK}/${_f}.c)
  endforeach()
  add_library(${target} STATIC ${_sources})
  target_compile_options(${target} PRIVATE -O2 -w)
endfunction()
