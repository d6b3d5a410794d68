#include <unistd.h>

#include "console.h"

namespace quillpack {

std::vector<std::string> Arguments(int argc, char** argv) { return std::vector<std::string>(argv + 1, argv + argc); }

void PrintText(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

bool StderrIsTerminal() { return isatty(2) == 1; }

}  // namespace quillpack
