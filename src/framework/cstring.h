// CString and CStringArray: the framework's text types, backed by
// std::string and std::vector. Text is 8-bit; the installer's sources and
// strings are UTF-8 and the Win32 backend converts where Windows displays
// text.
#pragma once

#include <cstdarg>
#include <string>
#include <vector>

#include "platform/types.h"

class CString {
 public:
  CString() = default;
  CString(const char* text) : m_text(text ? text : "") {}  // NOLINT: implicit as in the framework
  CString(const std::string& text) : m_text(text) {}       // NOLINT
  CString(const char* text, int length) : m_text(text, static_cast<size_t>(length)) {}

  int GetLength() const { return static_cast<int>(m_text.size()); }
  bool IsEmpty() const { return m_text.empty(); }
  void Empty() { m_text.clear(); }
  const char* GetString() const { return m_text.c_str(); }
  operator const char*() const { return m_text.c_str(); }  // NOLINT: LPCTSTR conversion
  const std::string& str() const { return m_text; }

  char GetAt(int index) const { return m_text.at(static_cast<size_t>(index)); }

  // printf-style formatting into a string that grows to fit: never cut,
  // never overflows.
  void Format(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  void FormatV(const char* format, va_list args);

  CString Left(int count) const;
  CString Right(int count) const;
  CString Mid(int first, int count = -1) const;
  int Find(const char* what, int start = 0) const;
  int Find(char what, int start = 0) const;
  int Compare(const char* other) const;  // case-sensitive, byte order

  CString& operator=(const char* text) {
    m_text = text ? text : "";
    return *this;
  }
  CString& operator+=(const CString& other) {
    m_text += other.m_text;
    return *this;
  }
  CString& operator+=(const char* text) {
    m_text += text ? text : "";
    return *this;
  }
  CString& operator+=(char ch) {
    m_text += ch;
    return *this;
  }

  friend CString operator+(const CString& a, const CString& b) { return CString(a.m_text + b.m_text); }
  friend CString operator+(const CString& a, const char* b) { return CString(a.m_text + (b ? b : "")); }
  friend CString operator+(const char* a, const CString& b) { return CString((a ? a : "") + b.m_text); }
  friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
  friend bool operator==(const CString& a, const char* b) { return a.m_text == (b ? b : ""); }
  friend bool operator==(const char* a, const CString& b) { return b == a; }
  friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
  friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
  friend bool operator<(const CString& a, const CString& b) { return a.m_text < b.m_text; }

 private:
  std::string m_text;
};

class CStringArray {
 public:
  int GetSize() const { return static_cast<int>(m_items.size()); }
  int GetCount() const { return GetSize(); }
  bool IsEmpty() const { return m_items.empty(); }
  int GetUpperBound() const { return GetSize() - 1; }
  int Add(const CString& item) {
    m_items.push_back(item);
    return GetSize() - 1;
  }
  const CString& GetAt(int index) const { return m_items.at(static_cast<size_t>(index)); }
  void SetAt(int index, const CString& item) { m_items.at(static_cast<size_t>(index)) = item; }
  const CString& operator[](int index) const { return GetAt(index); }
  CString& operator[](int index) { return m_items.at(static_cast<size_t>(index)); }
  void RemoveAll() { m_items.clear(); }
  void RemoveAt(int index, int count = 1);
  void InsertAt(int index, const CString& item);

  std::vector<CString>::const_iterator begin() const { return m_items.begin(); }
  std::vector<CString>::const_iterator end() const { return m_items.end(); }

 private:
  std::vector<CString> m_items;
};
