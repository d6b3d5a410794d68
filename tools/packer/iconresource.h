#pragma once
// An .ico file as the resources Windows loads icons from: one RT_ICON per
// image and an RT_GROUP_ICON directory that refers to them by id.
#include <string>

#include "binary.h"
#include "resourcetree.h"

namespace quillpack {

// Adds RT_ICON 1..n and RT_GROUP_ICON groupId; what names the file in
// errors. Throws PackError for a malformed file.
void AddIconResources(const Bytes& ico, const std::string& what, uint16_t groupId, ResourceSet& resources);

}  // namespace quillpack
