#pragma once
// Deployment settings the packer stores as resources of type "CFG" in the
// installer (UTF-8 text without NUL), with built-in defaults.
#include <string>

namespace brix {

// The setting `name`, trimmed of surrounding blanks and line breaks; the
// fallback when the resource is missing, empty or holds control characters.
std::string ProductSetting(const wchar_t* name, const char* fallback);

// Statistics dispatch server given to the statistics library.
std::wstring StatDispatchHost();
// "https://<counter host>/api/ruzorivizi.php".
std::wstring CounterEndpointUrl();

}  // namespace brix
