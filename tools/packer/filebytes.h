#pragma once
// Whole-file reads, and writes that never leave a half-written file behind.
#include <string>

#include "binary.h"

namespace quillpack {

// Throws PackError naming the file when it cannot be read.
Bytes ReadFileBytes(const std::string& path);

// Writes into a temporary file beside path and renames it over path at the
// end: on any failure path keeps its old content (or stays absent).
void WriteFileReplacing(const std::string& path, const Bytes& data, bool executable);

}  // namespace quillpack
