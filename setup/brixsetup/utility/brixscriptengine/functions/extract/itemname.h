#pragma once
// Archive item names are joined to the destination folder; a name must not
// lead out of it, nor open a device instead of a file.

namespace brix {

// True when `name` (NUL-terminated, "/" or "\" between folders) stays below
// the folder it is joined to: relative, no drive or stream colon, no "..",
// no part made only of dots and blanks (Windows drops trailing dots and
// blanks), no empty part, and no reserved device name (CON, NUL, COM1, ...).
bool IsContainedItemName(const wchar_t* name);

}  // namespace brix
