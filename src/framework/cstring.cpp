#include "framework/cstring.h"

#include <cstdio>
#include <cstring>

void CString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatV(format, args);
  va_end(args);
}

void CString::FormatV(const char* format, va_list args) {
  va_list probe;
  va_copy(probe, args);
  const int needed = std::vsnprintf(nullptr, 0, format, probe);
  va_end(probe);
  if (needed < 0) {
    m_text.clear();
    return;
  }
  std::string out(static_cast<size_t>(needed) + 1, '\0');
  std::vsnprintf(&out[0], out.size(), format, args);
  out.resize(static_cast<size_t>(needed));
  m_text.swap(out);
}

CString CString::Left(int count) const {
  if (count <= 0) return CString();
  return CString(m_text.substr(0, static_cast<size_t>(count)));
}

CString CString::Right(int count) const {
  if (count <= 0) return CString();
  const size_t n = static_cast<size_t>(count);
  return n >= m_text.size() ? *this : CString(m_text.substr(m_text.size() - n));
}

CString CString::Mid(int first, int count) const {
  if (first < 0) first = 0;
  if (static_cast<size_t>(first) >= m_text.size()) return CString();
  if (count < 0) return CString(m_text.substr(static_cast<size_t>(first)));
  return CString(m_text.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

int CString::Find(const char* what, int start) const {
  if (start < 0 || static_cast<size_t>(start) > m_text.size()) return -1;
  const size_t pos = m_text.find(what ? what : "", static_cast<size_t>(start));
  return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(char what, int start) const {
  const char text[2] = {what, '\0'};
  return Find(text, start);
}

int CString::Compare(const char* other) const { return std::strcmp(m_text.c_str(), other ? other : ""); }

void CStringArray::RemoveAt(int index, int count) {
  if (index < 0 || count <= 0 || index >= GetSize()) return;
  const int last = index + count > GetSize() ? GetSize() : index + count;
  m_items.erase(m_items.begin() + index, m_items.begin() + last);
}

void CStringArray::InsertAt(int index, const CString& item) {
  if (index < 0) index = 0;
  if (index > GetSize()) index = GetSize();
  m_items.insert(m_items.begin() + index, item);
}
