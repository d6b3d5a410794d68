global_app_id = 146
global_main_app_name = "Quillon.exe"
global_enable_ss_install = true
global_startuseexplorer_level = false
global_show_completewindow = true
global_product_name = "Quillon"
