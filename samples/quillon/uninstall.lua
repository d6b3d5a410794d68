-- Uninstall chunk (UNINSTSCRIPT.LUAC): handed on to the installed uninstaller.
function Lua_Sleep(ms)
  local sleep = GLibTab.Kernel32:Get("Sleep")
  sleep(ms)
end

function BrixSE_Uninstall()
  Lua_Logout("BrixSE_Uninstall\r\n")
end
