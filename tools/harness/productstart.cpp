// Reading the start records of the stand-in product.
#include "harness.h"

#include <fstream>
#include <sstream>

namespace harness {

// One line per start: command line, parent image, current folder and parent
// pid, separated by tabs, ended by "\r\n".
std::vector<ProductStart> ReadProductStarts(const std::wstring& path) {
  std::vector<ProductStart> out;
  std::ifstream in(path.c_str(), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::vector<std::string> fields;
    std::istringstream s(line);
    std::string f;
    while (std::getline(s, f, '\t')) fields.push_back(f);
    fields.resize(4);
    ProductStart p;
    p.commandLine = FromUtf8(fields[0]);
    p.parentImage = FromUtf8(fields[1]);
    p.currentDir = FromUtf8(fields[2]);
    p.parentPid = static_cast<DWORD>(strtoul(fields[3].c_str(), nullptr, 10));
    out.push_back(std::move(p));
  }
  return out;
}

}  // namespace harness
