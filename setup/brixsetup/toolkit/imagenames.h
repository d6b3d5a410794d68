#pragma once
// The DPI scales skins ship images for, and the rule that names them:
// "Image/x.png" is the 96-DPI (100 %) image, "Image/x@125.png",
// "Image/x@150.png", "Image/x@175.png" and "Image/x@200.png" the others.
// Apart from the decoders, so the packer's skin check follows the same rule.
#include <string>
#include <utility>
#include <vector>

namespace brixui {

constexpr int kSkinDpis[] = {96, 120, 144, 168, 192};
int DpiPercent(int dpi);  // 96 -> 100, 120 -> 125, ...
std::string ScaledImageName(const std::string& file, int dpi);
// Candidates for `dpi` in preference order: the exact scale, then the
// nearest larger ones, then the smaller ones from the largest down.
std::vector<std::pair<std::string, int>> ScaledImageCandidates(const std::string& file, int dpi);

}  // namespace brixui
