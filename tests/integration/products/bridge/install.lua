-- Calls native exports through the bridge from an install hook; the test
-- DLL's path comes from /TestDll.
local opts = {}
local argv = Lua_GetCommandLineArgv() or {}
for i, a in ipairs(argv) do
  if a:sub(1, 5) == "/Test" then opts[a:sub(6)] = argv[i + 1] or "" end
end
global_startuseexplorer_level = false

local function log(name, value) Lua_Logout("var:" .. name .. "=" .. tostring(value) .. "\r\n") end

function BrixSE_OnInstall()
  local k32 = GLibTab.Kernel32
  log("pid", (k32:Get("GetCurrentProcessId", "uint")()))
  local sleep = k32:Get("Sleep")
  log("sleep", select("#", sleep(1)))

  local dll = GLibTab[opts.Dll]
  log("loaded", dll ~= nil)
  log("two_std", (dll:Get("bt_two_std", "int")()))
  log("two_cdecl", (dll:Get("bt_two_cdecl", "int", true)()))
  log("bits_int", (dll:Get("bt_all_bits_std", "int")()))
  log("bits_uint", (dll:Get("bt_all_bits_cdecl", "uint", true)()))
  log("checksum6", (dll:Get("bt_checksum6_std", "uint")(1, 2, 3, 4, 5, 6)))
  log("wlen", (dll:Get("bt_wlen_std", "int")(WString.New(nil, "文件名"))))

  local buf = RawBuffer.New(8)
  log("filled", (dll:Get("bt_fill_std", "int")(buf, 6)))
  log("u32", buf:OffsetGetAsUInt32(0))
  log("u8_5", buf:OffsetGetAsUInt8(5))
  log("u8_6", buf:OffsetGetAsUInt8(6))
  buf:OffsetSetAsUInt32(4, 4294967295)
  log("i32_4", buf:OffsetGetAsInt32(4))
  log("outside", buf:OffsetGetAsUInt32(5))

  local exists = GLibTab.shlwapi:Get("PathFileExistsA", "bool")
  log("exists_dll", (exists(AString.New(nil, opts.Dll))))
  log("exists_none", (exists(AString.New(nil, opts.Dll .. ".none"))))
end
