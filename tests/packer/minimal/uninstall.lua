function BrixSE_OnUninstall()
  Lua_DelFileRecursive(InstallPath)
end
