-- The uninstaller's hooks, logged so the tests see their order. /TestFail
-- <hook> raises a script error there; /TestFailed 1 reports a failure.
local opts = {}
local argv = Lua_GetCommandLineArgv() or {}
for i, a in ipairs(argv) do
  if a:sub(1, 5) == "/Test" then opts[a:sub(6)] = argv[i + 1] or "" end
end

local function hook(name)
  Lua_Logout("hook:" .. name .. "\r\n")
  if opts.Fail == name:sub(8) then error("x") end
end

function BrixSE_BeforeInit() hook("BrixSE_BeforeInit") end
function BrixSE_BeforeUninstall()
  hook("BrixSE_BeforeUninstall")
  Lua_Logout("var:InstallPath=" .. tostring(InstallPath) .. "\r\n")
  Lua_Logout("var:global_ss_install=" .. tostring(global_ss_install) .. "\r\n")
end
function BrixSE_OnUninstall()
  hook("BrixSE_OnUninstall")
  if opts.Failed == "1" then global_uninstall_failed = true end
end
function BrixSE_AfterUninstall() hook("BrixSE_AfterUninstall") end
