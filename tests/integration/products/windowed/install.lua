-- Window test product. /Test<Name> <value> options on the command line:
--   Path <text>     global_install_path ("-" for empty)
--   Need <bytes>    global_need_disk_space
--   Backup <path>   BackUpPath
--   Busy <ms>       the on-install hook takes this long
--   NoComplete 1    global_show_completewindow false
--   AutoHidden 1    the auto-start option hidden and not selected
--   Fail <hook>     a script error in that hook
--   MutexName <n>   the single-instance object
-- Every hook and the globals the window hands over are logged.
local opts = {}
local argv = Lua_GetCommandLineArgv() or {}
for i, a in ipairs(argv) do
  if a:sub(1, 5) == "/Test" then opts[a:sub(6)] = argv[i + 1] or "" end
end

local function log(text) Lua_Logout(text .. "\r\n") end

global_install_path = "C:\\quill-window-test\\Quillon"
if opts.Path then global_install_path = opts.Path == "-" and "" or opts.Path end
if opts.Need then global_need_disk_space = opts.Need end
if opts.Backup then BackUpPath = opts.Backup end
if opts.NoComplete == "1" then global_show_completewindow = false end
if opts.AutoHidden == "1" then
  global_startup_check_visable = false
  global_startup_check = false
end
if opts.MutexName then global_install_mutex_guid = opts.MutexName end

-- The window publishes its choices as new globals: each first write is
-- logged as it happens, so a refused request shows what it left behind.
local watched = {
  InstallPath = true, LicenceChk = true, StartMenuShortcutChk = true, DesktopShortcutChk = true,
  ShouldStartWithWindowsChk = true, global_install_progress_elapse = true,
}
setmetatable(_G, {
  __newindex = function(t, k, v)
    if watched[k] then log("set:" .. k .. "=" .. tostring(v)) end
    rawset(t, k, v)
  end,
})

local function hook(name)
  log("hook:" .. name)
  if opts.Fail == name:sub(8) then error("x") end
end

function BrixSE_BeforeInit() hook("BrixSE_BeforeInit") end

function BrixSE_BeforeInstall()
  hook("BrixSE_BeforeInstall")
  log("var:InstallPath=" .. tostring(InstallPath))
end

function BrixSE_OnInstall()
  hook("BrixSE_OnInstall")
  log("var:global_install_progress_pos=" .. tostring(global_install_progress_pos))
  log("var:global_install_progress_elapse=" .. tostring(global_install_progress_elapse))
  local busy = tonumber(opts.Busy or "0")
  if busy > 0 then GLibTab.Kernel32:Get("Sleep")(busy) end
end

function BrixSE_BeforeComplete() hook("BrixSE_BeforeComplete") end

function BrixSE_AfterComplete()
  hook("BrixSE_AfterComplete")
  log("var:global_install_progress_pos=" .. tostring(global_install_progress_pos))
end
