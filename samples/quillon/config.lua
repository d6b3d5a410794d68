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
