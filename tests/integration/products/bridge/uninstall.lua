function BrixSE_Uninstall() end
