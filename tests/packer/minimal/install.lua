function BrixSE_OnInstall()
  local dir = Lua_ExpandEnv(InstallPath)
  Lua_CreateDirectory(dir)
  if not Lua_UnCompress7z("App.7z", dir) then os.exit(0) end
  Lua_UnCompress7z("UNINST.7Z", dir)   -- writes uninst.exe
end
