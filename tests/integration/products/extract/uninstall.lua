-- Written into the install folder by the install chunk.
function BrixSE_Uninstall() Lua_Logout("uninstall\r\n") end
