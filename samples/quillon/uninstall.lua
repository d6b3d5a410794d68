-- Uninstall chunk (UNINSTSCRIPT.LUAC): run by the installed uninstaller
-- (uninst.exe) with InstallPath set to its folder. Removes, in reverse order,
-- what the install chunk made from the same table (product_records of the
-- configuration chunk). Files the user added to the folder are kept; the
-- uninstaller removes its own file, and the folder when it is empty, after
-- it has ended.
local R = product_records

function Lua_Sleep(ms)
  local sleep = GLibTab.Kernel32:Get("Sleep")
  sleep(ms)
end

local function log(fmt, ...)
  Lua_Logout(string.format(fmt, ...) .. "\r\n")
end

-- Only an empty folder goes: whatever else is in it stays.
local function removeEmptyFolder(path)
  local removeDirectory = GLibTab.Kernel32:Get("RemoveDirectoryW")
  return removeDirectory(WString.New(nil, Lua_ExpandEnv(path))) ~= 0
end

local function inFolder(path, dir)
  return (path:gsub("%%DIR%%", (dir:gsub("%%", "%%%%"))))
end

local installed = false

function BrixSE_BeforeInit()
  Lua_RegVarByCSIDL("APPDATA", 26)
  Lua_RegVarByCSIDL("COMMPROGRAMS", 23)
  Lua_RegVarByCSIDL("DESKTOP", 16)
end

function BrixSE_BeforeUninstall()
  installed = Lua_RegQuery("HKCU", R.productKey, "InstallPath") ~= nil
  if not installed then
    log("%s is not installed; nothing to remove", global_product_name)
    return
  end
  -- A running copy holds its files open: close it first.
  for _, pid in ipairs({ Lua_GetProcessId(global_main_app_name) }) do
    if pid ~= -1 then
      log("BrixSE_BeforeUninstall: closing %s (pid %d): %s", global_main_app_name, pid, tostring(Lua_TaskKill(pid)))
    end
  end
end

function BrixSE_OnUninstall()
  if not installed then return end
  local dir = InstallPath
  -- A person may retry or skip a locked file; an unattended run goes on.
  local delete = global_ss_install and Lua_DeleteFileEx or Lua_DeleteFile
  local failed = 0

  if Lua_RegQuery("HKCU", R.runKey, R.runValue) ~= nil then Lua_RegDel("HKCU", R.runKey, R.runValue) end
  for i = #R.shortcuts, 1, -1 do
    if not delete(R.shortcuts[i].link) then failed = failed + 1 end
  end
  for i = #R.folders, 1, -1 do removeEmptyFolder(R.folders[i]) end

  -- The installed files, last first, then the folders that held them.
  local count = Lua_RegQuery("HKCU", R.filesKey, "Count") or 0
  local folders = {}
  for i = count, 1, -1 do
    local name = Lua_RegQuery("HKCU", R.filesKey, string.format("%06d", i))
    if name and name ~= "" and not name:find("..", 1, true) then
      if not delete(dir .. "\\" .. name) then
        failed = failed + 1
        log("BrixSE_OnUninstall: %s\\%s could not be removed", dir, name)
      end
      local parent = name:match("^(.*)\\[^\\]*$")
      while parent do
        folders[#folders + 1] = parent
        parent = parent:match("^(.*)\\[^\\]*$")
      end
    end
  end
  table.sort(folders, function(a, b) return #a > #b end)
  for _, f in ipairs(folders) do removeEmptyFolder(dir .. "\\" .. f) end
  log("BrixSE_OnUninstall: removed %d files from %s, %d left", count - failed, dir, failed)

  Lua_RegDel("HKCU", R.productKey)
  -- The entry in the list of installed programs goes last.
  Lua_RegDel("HKCU", R.uninstallKey)
  if failed > 0 then global_uninstall_failed = true end
end

function BrixSE_AfterUninstall()
  log("BrixSE_AfterUninstall: %s", global_uninstall_failed and "some files stay" or "done")
end
