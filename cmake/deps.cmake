# Third-party libraries prepared by scripts/bootstrap.sh.
set(_lua ${QUILL_DEPS}/lua-${QUILL_ARCH})
if(NOT EXISTS ${_lua}/liblua.a)
  message(FATAL_ERROR "Lua for ${QUILL_ARCH} missing: run scripts/bootstrap.sh")
endif()
add_library(lua STATIC IMPORTED GLOBAL)
set_target_properties(lua PROPERTIES
  IMPORTED_LOCATION ${_lua}/liblua.a
  INTERFACE_INCLUDE_DIRECTORIES ${_lua}/include)

add_library(spdlog_headers INTERFACE)
target_include_directories(spdlog_headers SYSTEM INTERFACE ${QUILL_DEPS}/spdlog-include)
# A fixed thousands separator keeps fmt from pulling in std::locale and with it
# every facet of libstdc++ (about 0.6 MB of each setup.exe, with pugixml's streams); the log never
# formats numbers by locale.
target_compile_definitions(spdlog_headers INTERFACE SPDLOG_HEADER_ONLY FMT_HEADER_ONLY
  FMT_STATIC_THOUSANDS_SEPARATOR=',')

# The LZMA SDK's C 7z decoder (bootstrap builds it per target).
set(_lzmadec ${QUILL_DEPS}/lzmadec-${QUILL_ARCH})
if(NOT EXISTS ${_lzmadec}/liblzmadec.a)
  message(FATAL_ERROR "7z decoder for ${QUILL_ARCH} missing: run scripts/bootstrap.sh")
endif()
add_library(lzmadec STATIC IMPORTED GLOBAL)
set_target_properties(lzmadec PROPERTIES
  IMPORTED_LOCATION ${_lzmadec}/liblzmadec.a
  INTERFACE_INCLUDE_DIRECTORIES ${_lzmadec}/include)

# Static libcurl with Schannel; the libraries are what it needs from Windows.
set(_curl ${QUILL_DEPS}/curl-${QUILL_ARCH})
if(NOT EXISTS ${_curl}/lib/libcurl.a)
  message(FATAL_ERROR "libcurl for ${QUILL_ARCH} missing: run scripts/bootstrap.sh")
endif()
add_library(curl STATIC IMPORTED GLOBAL)
set_target_properties(curl PROPERTIES
  IMPORTED_LOCATION ${_curl}/lib/libcurl.a
  INTERFACE_INCLUDE_DIRECTORIES ${_curl}/include
  INTERFACE_COMPILE_DEFINITIONS CURL_STATICLIB
  INTERFACE_LINK_LIBRARIES "ws2_32;crypt32;bcrypt;normaliz;advapi32;winmm")

# UI toolkit: pugixml (compiled here from the copied sources), nanosvg and
# stb_image headers, libwebp's decoder with its demux library.
foreach(_dir pugixml nanosvg stb-include webp-${QUILL_ARCH})
  if(NOT EXISTS ${QUILL_DEPS}/${_dir}/.stamp)
    message(FATAL_ERROR "${_dir} missing: run scripts/bootstrap.sh")
  endif()
endforeach()
add_library(pugixml STATIC ${QUILL_DEPS}/pugixml/pugixml.cpp)
target_include_directories(pugixml SYSTEM PUBLIC ${QUILL_DEPS}/pugixml)
target_compile_options(pugixml PRIVATE -w)
# No std::istream loading: the skin is parsed from buffers, and the stream
# classes would bring libstdc++'s locale facets into the stub.
target_compile_definitions(pugixml PUBLIC PUGIXML_NO_STL)

add_library(nanosvg_headers INTERFACE)
target_include_directories(nanosvg_headers SYSTEM INTERFACE ${QUILL_DEPS}/nanosvg)
add_library(stb_headers INTERFACE)
target_include_directories(stb_headers SYSTEM INTERFACE ${QUILL_DEPS}/stb-include)

set(_webp ${QUILL_DEPS}/webp-${QUILL_ARCH})
add_library(webp STATIC IMPORTED GLOBAL)
set_target_properties(webp PROPERTIES
  IMPORTED_LOCATION ${_webp}/lib/libwebp.a
  INTERFACE_INCLUDE_DIRECTORIES ${_webp}/include)
if(EXISTS ${_webp}/lib/libsharpyuv.a)
  set_target_properties(webp PROPERTIES INTERFACE_LINK_LIBRARIES ${_webp}/lib/libsharpyuv.a)
endif()
add_library(webpdemux STATIC IMPORTED GLOBAL)
set_target_properties(webpdemux PROPERTIES
  IMPORTED_LOCATION ${_webp}/lib/libwebpdemux.a
  INTERFACE_LINK_LIBRARIES webp)
