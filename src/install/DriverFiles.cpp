#include "install/DriverFiles.h"

bool AppendToFileList(std::string& list, const CString& name, size_t limit) {
  // Each name takes its NUL; the list's end takes one more.
  if (list.size() + static_cast<size_t>(name.GetLength()) + 2 > limit) return false;
  list += name.str();
  list += '\0';
  return true;
}

void EndFileList(std::string& list) { list += '\0'; }
