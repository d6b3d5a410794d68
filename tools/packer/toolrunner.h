#pragma once
// Runs a command-line tool (signing will need one): fork and exec on POSIX
// (toolrunner_posix.cpp), CreateProcessW on Windows (toolrunner_windows.cpp).
#include <string>
#include <vector>

namespace quillpack {

// Runs argv[0] (looked up on PATH) in folder cwd, with no shell in between.
// Throws PackError when the tool cannot be started, is killed or exits
// non-zero; the message holds the tool's own output. A stop asked for while
// it runs stops it too.
void RunTool(const std::vector<std::string>& argv, const std::string& cwd);

}  // namespace quillpack
