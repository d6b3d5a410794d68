#pragma once
// One argument of a command line that CreateProcessW starts.
#include <string>

namespace brix {

// The argument as CommandLineToArgvW and the C runtime split it back:
// unchanged when it needs no quotes.
std::wstring QuoteArgument(const std::wstring& arg);

}  // namespace brix
