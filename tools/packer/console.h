#pragma once
// The packer's side of the terminal: its arguments as UTF-8, text written
// as UTF-8 (as UTF-16 to a Windows console, which would garble UTF-8), and
// whether stderr is a terminal. console_posix.cpp, console_windows.cpp.
#include <cstdio>
#include <string>
#include <vector>

namespace quillpack {

// The command line's arguments after the program name, UTF-8.
std::vector<std::string> Arguments(int argc, char** argv);

// Writes `text` (UTF-8) to stdout or stderr as it is, flushed.
void PrintText(std::FILE* stream, const std::string& text);

bool StderrIsTerminal();

}  // namespace quillpack
