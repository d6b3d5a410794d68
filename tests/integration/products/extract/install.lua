-- On install: the payload goes into the install folder, the uninstall chunk
-- and a copy of the payload archive are written beside it.
local function log(text) Lua_Logout(text .. "\r\n") end

function BrixSE_OnInstall()
  log("hook:BrixSE_OnInstall")
  Lua_CreateDirectory(InstallPath)
  local files = 0
  local ok = Lua_UnCompress7z("App.7z", InstallPath, false,
    function(path) files = files + 1 log("unpacked:" .. path) end,
    function(path, code) log("createerror:" .. path .. "#" .. code) return 2 end)
  log("var:unpack=" .. tostring(ok))
  log("var:files=" .. files)
  log("var:uninst=" .. tostring(Lua_ExtractResource("LUA", "UNINSTSCRIPT.LUAC", InstallPath .. "\\uninst.luac")))
  log("var:payload=" .. tostring(Lua_ExtractResource("_7Z", "App.7z", InstallPath .. "\\payload.7z")))
  Lua_CreateDirectory(InstallPath .. "\\again")
  log("var:again=" .. tostring(Lua_UnCompress7z("App.7z", InstallPath .. "\\again")))
  log("var:missing=" .. tostring(Lua_UnCompress7z("App.7z", InstallPath .. "\\no\\such\\folder")))
end
