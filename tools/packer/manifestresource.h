#pragma once
// The RT_MANIFEST resource: execution level, Common Controls 6, DPI
// awareness and the Windows versions the installer declares it supports.
#include <string>

#include "binary.h"

namespace quillpack {

// level is asInvoker, highestAvailable or requireAdministrator.
Bytes BuildManifest(const std::string& executionLevel);

}  // namespace quillpack
