-- All four uninstall hooks; the result flag is set by a hook, as products do.
function BrixSE_BeforeInit() end

function BrixSE_BeforeUninstall() end

function BrixSE_OnUninstall()
  global_uninstall_failed = false
end

function BrixSE_AfterUninstall() end
