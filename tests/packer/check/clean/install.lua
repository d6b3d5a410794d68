-- All five install hooks, each a no-op.
local function log(text) return text end

function BrixSE_BeforeInit() log("before init") end

function BrixSE_BeforeInstall() log("before install") end

function BrixSE_OnInstall()
  log("on install")
end

function BrixSE_BeforeComplete() log("before complete") end

function BrixSE_AfterComplete() log("after complete") end
