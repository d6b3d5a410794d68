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
target_compile_definitions(spdlog_headers INTERFACE SPDLOG_HEADER_ONLY FMT_HEADER_ONLY)
