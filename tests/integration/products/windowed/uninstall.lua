-- The window tests never uninstall this product; the packer wants a chunk.
function BrixSE_OnUninstall() Lua_Logout("hook:BrixSE_OnUninstall\r\n") end
