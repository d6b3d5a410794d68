-- Install chunk (INSTSCRIPT.LUAC): the five install hooks.
global_ss_install = false
global_install_path = "%ProgramFiles%\\Harlow\\Quillon"
global_startup_check = true

local function log(fmt, ...)
  Lua_Logout(string.format(fmt, ...) .. "\r\n")
end

function BrixSE_BeforeInit()
  log("BrixSE_BeforeInit: system major version %d, wow64 %s", Lua_GetOSVersion(), tostring(Lua_IsWow64()))
end

function BrixSE_BeforeInstall()
  log("BrixSE_BeforeInstall: install folder %s", Lua_ExpandEnv(InstallPath or global_install_path))
end

function BrixSE_OnInstall()
  log("BrixSE_OnInstall: would unpack the payload into %s", Lua_ExpandEnv(InstallPath))
end

function BrixSE_BeforeComplete()
  log("BrixSE_BeforeComplete: would write the registry and shortcuts")
end

function BrixSE_AfterComplete()
  log("BrixSE_AfterComplete: started %s", global_main_app_name)
end
