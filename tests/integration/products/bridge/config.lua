global_app_id = 145
global_main_app_name = "Quillon.exe"
global_enable_ss_install = true
global_startuseexplorer_level = true
global_show_completewindow = true
global_product_name = "Quillon"
