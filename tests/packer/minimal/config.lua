global_product_name = "Quillon"
global_install_path = "%ProgramFiles%\\Harlow\\Quillon"
global_main_app_name = "Quillon.exe"
