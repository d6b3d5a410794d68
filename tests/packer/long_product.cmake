# cmake -DSOURCE=<fixture> -DTARGET=<folder> -P long_product.cmake
# The fixture with each version text at the packer's length limit (4096
# UTF-16 units; the company name in characters outside the BMP, two units
# each), so a reader of the version resource sees whether they all fit.
file(REMOVE_RECURSE ${TARGET})
file(COPY ${SOURCE}/ DESTINATION ${TARGET})
file(STRINGS ${SOURCE}/product.ini _lines ENCODING UTF-8)
set(_ini "")
foreach(_line IN LISTS _lines)
  if(NOT _line MATCHES "^(product_name|company|description|copyright) =")
    string(APPEND _ini "${_line}\n")
  endif()
endforeach()
string(REPEAT "N" 4096 _name)
string(REPEAT "🖋" 2048 _company)  # U+1F58B
string(REPEAT "羽" 4096 _description)  # U+7FBD
string(REPEAT "C" 4096 _copyright)
string(APPEND _ini "product_name = ${_name}\ncompany = ${_company}\n")
string(APPEND _ini "description = ${_description}\ncopyright = ${_copyright}\n")
file(WRITE ${TARGET}/product.ini "${_ini}")
