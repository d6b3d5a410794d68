-- Behaviour chosen by /Test... options on the command line, so one
-- installer covers the start-up cases.
local opts = {}
local argv = Lua_GetCommandLineArgv() or {}
for i, a in ipairs(argv) do
  if a:sub(1, 5) == "/Test" then opts[a:sub(6)] = argv[i + 1] or "" end
end

global_ss_install = opts.SsInstall == "1"
if opts.EnableSs == "0" then global_enable_ss_install = false end
if opts.Direct then global_startuseexplorer_level = false end
if opts.MutexName then global_install_mutex_guid = opts.MutexName end

local function log(text) Lua_Logout(text .. "\r\n") end

local function fail(where)
  if opts.Fail ~= where then return end
  if opts.How == "table" then error({}) end
  if opts.How == "nilcall" then Lua_HttpPost("x") end
  error("x")
end

function BrixSE_BeforeInit()
  log("hook:BrixSE_BeforeInit")
  if opts.InitSetsPath then global_install_path = opts.InitSetsPath end
  fail("BeforeInit")
end

function BrixSE_BeforeInstall()
  log("hook:BrixSE_BeforeInstall")
  log("var:global_install_path=" .. tostring(global_install_path))
  log("var:InstallPath=" .. tostring(InstallPath))
  log("var:ShouldStartWithWindowsChk=" .. tostring(ShouldStartWithWindowsChk))
  log("var:global_ss_install=" .. tostring(global_ss_install))
end

function BrixSE_OnInstall()
  log("hook:BrixSE_OnInstall")
  if opts.Box then Lua_MsgBox("first installer waits", "spine", 1) end
  fail("OnInstall")
  if opts.Delete then log("var:delete=" .. tostring(Lua_DeleteFile(opts.Delete))) end
  -- A later change does not move the product start.
  global_install_path = "C:\\elsewhere"
end

function BrixSE_BeforeComplete()
  log("hook:BrixSE_BeforeComplete")
end

function BrixSE_AfterComplete()
  log("hook:BrixSE_AfterComplete")
end
