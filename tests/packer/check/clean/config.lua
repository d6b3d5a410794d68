-- Every setting the host reads, so the check has nothing to note.
global_install_mutex_guid = "Global\\{5B1C7E2A-0D44-4C58-A7E1-3F0C2D9B6A11}"
global_app_id = 7
global_enable_ss_install = true
global_ss_install = false
global_install_path = "%ProgramFiles%\\Harlow\\CheckFixture"
global_install_basepath = "CheckFixture"
global_main_app_name = "CheckFixture.exe"
global_start_parameter = "/fromsetup"
global_startuseexplorer_level = true
global_product_name = "Check Fixture"
global_startup_check_visable = true
global_startup_check = false
global_licence_url = "https://check.invalid/licence.html"
global_need_disk_space = "1048576"
global_show_completewindow = true
BackUpPath = ""
global_uninstall_confirm_text = "Remove Check Fixture?"
