#include "imagenames.h"

#include <algorithm>

namespace brixui {

int DpiPercent(int dpi) { return (dpi * 100 + 48) / 96; }

std::string ScaledImageName(const std::string& file, int dpi) {
  if (dpi == 96) return file;
  const size_t slash = file.find_last_of("/\\");
  const size_t dot = file.find_last_of('.');
  const std::string suffix = "@" + std::to_string(DpiPercent(dpi));
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return file + suffix;
  return file.substr(0, dot) + suffix + file.substr(dot);
}

std::vector<std::pair<std::string, int>> ScaledImageCandidates(const std::string& file, int dpi) {
  std::vector<std::pair<std::string, int>> out;
  std::vector<int> larger, smaller;
  for (int d : kSkinDpis) (d >= dpi ? larger : smaller).push_back(d);
  for (int d : larger) out.emplace_back(ScaledImageName(file, d), d);
  std::reverse(smaller.begin(), smaller.end());
  for (int d : smaller) out.emplace_back(ScaledImageName(file, d), d);
  return out;
}

}  // namespace brixui
