#include "folder_links.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>

#include <vector>
#endif

namespace drvpack {

namespace {

namespace stdfs = std::filesystem;

bool IsInside(const stdfs::path& path, const stdfs::path& root) {
  auto mismatch = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
  return mismatch.first == root.end();
}

#ifdef _WIN32

// Closes a handle of CreateFileW on every path out.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Where `path` finally leads, or empty when nowhere. The runtime's
// canonical() does not resolve junctions; GetFinalPathNameByHandleW does
// ("GetFinalPathNameByHandleW function"), and FILE_FLAG_BACKUP_SEMANTICS
// lets a folder be opened for it ("CreateFileW function").
stdfs::path FinalPath(const stdfs::path& path) {
  Handle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return stdfs::path();
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(
        file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return stdfs::path();
    if (length < buffer.size()) return stdfs::path(std::wstring(buffer.data(), length));
    buffer.resize(length + 1);
  }
}

#endif

}  // namespace

#ifdef _WIN32

LinkKind ClassifyLink(const stdfs::path& path, const stdfs::path& root) {
  // A junction is no symbolic link to the runtime, yet leads anywhere a
  // link can ("Reparse Points"): every reparse point is judged by where
  // it leads.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return LinkKind::kNotALink;
  const stdfs::path target = FinalPath(path), base = FinalPath(root);
  if (target.empty() || base.empty()) return LinkKind::kNowhere;
  if (!IsInside(target, base)) return LinkKind::kOutside;
  const DWORD targetAttributes = GetFileAttributesW(target.c_str());
  if (targetAttributes == INVALID_FILE_ATTRIBUTES) return LinkKind::kNowhere;
  return (targetAttributes & FILE_ATTRIBUTE_DIRECTORY) ? LinkKind::kToFolder : LinkKind::kToFileInside;
}

#else

LinkKind ClassifyLink(const stdfs::path& path, const stdfs::path& root) {
  std::error_code ec;
  if (!stdfs::is_symlink(stdfs::symlink_status(path, ec))) return LinkKind::kNotALink;
  const stdfs::path target = stdfs::canonical(path, ec);
  if (ec) return LinkKind::kNowhere;
  if (!IsInside(target, root)) return LinkKind::kOutside;
  return stdfs::is_directory(target, ec) ? LinkKind::kToFolder : LinkKind::kToFileInside;
}

#endif

}  // namespace drvpack
