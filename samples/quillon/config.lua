-- Configuration chunk (GLOBAL_VAR.LUAC): the settings the host reads.
global_app_id = 145
global_main_app_name = "Quillon.exe"
global_enable_ss_install = true
global_startuseexplorer_level = true
global_show_completewindow = true
global_product_name = "Quillon"
global_licence_url = "https://quillon.example/licence.html"
global_install_basepath = "Harlow"
global_need_disk_space = "182958560"
global_startup_check_visable = true

-- What the install leaves on the machine besides the payload's files. The
-- install chunk writes these and the uninstall chunk removes them, in
-- reverse order, from this one table, so the two cannot drift apart. "%DIR%"
-- stands for the install folder; the other references are folder variables
-- both chunks define.
product_records = {
  productKey = "SOFTWARE\\Quillon",
  -- One value per installed file, relative to the install folder.
  filesKey = "SOFTWARE\\Quillon\\Files",
  runKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
  runValue = "Quillon",
  uninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillon",
  -- the name the packer gives the uninstaller inside its UNINST.7Z resource
  uninstaller = "uninst.exe",
  publisher = "Harlow Software",
  -- `option`: the window's option that may leave the shortcut out (the
  -- option's global is false then; a silent install makes them all).
  shortcuts = {
    { link = "%COMMPROGRAMS%\\Quillon\\Quillon.lnk", target = "%DIR%\\Quillon.exe", option = "StartMenuShortcutChk" },
    { link = "%DESKTOP%\\Quillon.lnk", target = "%DIR%\\Quillon.exe", option = "DesktopShortcutChk" },
    { link = "%COMMPROGRAMS%\\Quillon\\Quillon 主页.url", target = "https://quillon.example/",
      option = "StartMenuShortcutChk" },
  },
  -- Removed when nothing else is left in them.
  folders = { "%COMMPROGRAMS%\\Quillon" },
}
