-- Install chunk (INSTSCRIPT.LUAC): the Quillon install, run by the host's
-- five install hooks.
global_ss_install = false
global_install_path = "%ProgramFiles%\\Harlow\\Quillon"
global_startup_check = true

local R = product_records

local function log(fmt, ...)
  Lua_Logout(string.format(fmt, ...) .. "\r\n")
end

-- Ends the install where it cannot go on, so nothing (registry values,
-- shortcuts, the Run entry) is written for a product that is not there.
local function stop(reason, userText)
  log("install stopped: %s", reason)
  if not global_ss_install then Lua_MsgBox(userText, "Quillon", 0x10) end
  os.exit(0)
end

local function installFolder()
  local path = InstallPath
  if path == nil or path == "" then path = global_install_path end
  local dir = Lua_ExpandEnv(path)
  -- A folder below a drive root or on a share only: an empty or relative one
  -- would put the product wherever the installer happens to run.
  if not (dir:match("^%a:\\[^\\]") or dir:match("^\\\\[^\\]")) then
    stop(string.format("install folder \"%s\" (from \"%s\") is empty, relative or too long", dir, tostring(path)),
      "安装路径无效，安装未能完成。请选择其他安装路径后重试。")
  end
  return dir
end

function BrixSE_BeforeInit()
  local major = Lua_GetOSVersion()
  if major < 6 then
    log("Quillon needs Windows 7 or later; this system reports major version %d", major)
    -- Tell a person; an unattended install only logs it.
    local silent = false
    for _, a in ipairs(Lua_GetCommandLineArgv() or {}) do silent = silent or a == "/InstallSlience" end
    if not silent then Lua_MsgBox("Quillon 需要 Windows 7 或更高版本。", "Quillon", 0x10) end
    os.exit(0)
  end
  -- Folder variables the shortcut paths below are written with.
  Lua_RegVarByCSIDL("APPDATA", 26)
  Lua_RegVarByCSIDL("COMMPROGRAMS", 23)
  Lua_RegVarByCSIDL("DESKTOP", 16)
  log("BrixSE_BeforeInit: Windows %d, 32-bit on 64-bit: %s", major, tostring(Lua_IsWow64()))
end

function BrixSE_BeforeInstall()
  -- A running copy holds its files open: close it first.
  for _, pid in ipairs({ Lua_GetProcessId(global_main_app_name) }) do
    if pid ~= -1 then
      log("BrixSE_BeforeInstall: closing %s (pid %d): %s", global_main_app_name, pid, tostring(Lua_TaskKill(pid)))
    end
  end
  local dir = installFolder()
  -- The host starts the product and loads its statistics library from
  -- global_install_path; in the window the user's folder arrives as
  -- InstallPath only.
  global_install_path = dir
  log("BrixSE_BeforeInstall: installing into %s", dir)
end

local function inFolder(path, dir)
  return (path:gsub("%%DIR%%", (dir:gsub("%%", "%%%%"))))
end

function BrixSE_OnInstall()
  local dir = installFolder()
  Lua_CreateDirectory(dir)
  -- Every file written is recorded for the uninstaller, relative to the folder.
  Lua_RegDel("HKCU", R.filesKey)
  local files = 0
  local ok = Lua_UnCompress7z("App.7z", dir, false,
    function(path)
      files = files + 1
      Lua_RegAdd("HKCU", R.filesKey, string.format("%06d", files), "REG_EXPAND_SZ", path:sub(#dir + 2), true)
    end,
    function(path, code)
      log("BrixSE_OnInstall: cannot create %s (error %d), skipped", path, code)
      return 1
    end)
  Lua_RegAdd("HKCU", R.filesKey, "Count", "REG_DWORD", files, true)
  log("BrixSE_OnInstall: unpacked %d files into %s: %s", files, dir, tostring(ok))
  if not ok then
    stop("unpacking into " .. dir .. " failed", "安装文件解压失败，安装未能完成。请检查磁盘空间后重试。")
  end

  -- The uninstaller carries the configuration and its own chunk; the packer
  -- stores it compressed, as uninst.exe in the resource UNINST.7Z.
  local uninstaller = dir .. "\\" .. R.uninstaller
  if not Lua_UnCompress7z("UNINST.7Z", dir) or not Lua_PathFileExists(uninstaller) then
    stop("writing " .. uninstaller .. " failed", "卸载程序写入失败，安装未能完成。")
  end

  local version = Lua_GetFileVersion(dir .. "\\" .. global_main_app_name)
  Lua_RegAdd("HKCU", R.productKey, "InstallPath", "REG_SZ", dir, true)
  Lua_RegAdd("HKCU", R.productKey, "Version", "REG_SZ", version, true)
  log("BrixSE_OnInstall: HKCU\\%s InstallPath=%s Version=%s", R.productKey, dir, version)

  -- The entry Windows lists under installed programs, for this user.
  local quoted = "\"" .. uninstaller .. "\""
  local entry = {
    { "DisplayName", "REG_SZ", global_product_name },
    { "DisplayVersion", "REG_SZ", version },
    { "Publisher", "REG_SZ", R.publisher },
    { "DisplayIcon", "REG_SZ", uninstaller .. ",0" },
    { "InstallLocation", "REG_SZ", dir },
    { "InstallDate", "REG_SZ", os.date("%Y%m%d") },
    { "EstimatedSize", "REG_DWORD", math.floor((tonumber(global_need_disk_space) or 0) / 1024) },
    { "UninstallString", "REG_SZ", quoted },
    { "QuietUninstallString", "REG_SZ", quoted .. " /InstallSlience true" },
    { "NoModify", "REG_DWORD", 1 },
    { "NoRepair", "REG_DWORD", 1 },
  }
  for _, v in ipairs(entry) do Lua_RegAdd("HKCU", R.uninstallKey, v[1], v[2], v[3], true) end
  log("BrixSE_OnInstall: listed as %s %s under HKCU\\%s", global_product_name, version, R.uninstallKey)
end

function BrixSE_BeforeComplete()
  local dir = installFolder()
  local exe = dir .. "\\" .. global_main_app_name
  for _, s in ipairs(R.shortcuts) do
    if s.option and _G[s.option] == false then
      log("BrixSE_BeforeComplete: shortcut %s not wanted", s.link)
    else
      local target = inFolder(s.target, dir)
      local made = target:match("^https?:") and Lua_CreateShortcut(target, s.link)
        or Lua_CreateShortcut(target, s.link, "", global_product_name)
      log("BrixSE_BeforeComplete: shortcut %s: %s", s.link, tostring(made))
    end
  end
  if ShouldStartWithWindowsChk then
    Lua_RegAdd("HKCU", R.runKey, R.runValue, "REG_SZ", "\"" .. exe .. "\" /autostart", true)
    log("BrixSE_BeforeComplete: starts with Windows")
  end
end

function BrixSE_AfterComplete()
  log("BrixSE_AfterComplete: started %s", global_main_app_name)
end
