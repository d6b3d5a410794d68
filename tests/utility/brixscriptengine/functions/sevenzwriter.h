#pragma once
// Writes small 7z archives (stored, one solid block, plain header) with any
// item names, including ones no archiver would store from a real folder.
#include <string>
#include <vector>

namespace sevenz {

struct Item {
  std::wstring name;  // as stored: folders separated by "/" (or anything else)
  std::string data;
  bool isDir = false;
};

std::string StoredArchive(const std::vector<Item>& items);

}  // namespace sevenz
