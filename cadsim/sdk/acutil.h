// Utility value types of the SDK surface: the host's string (AcString) and array (AcArray).
//
// Both are plain values; AcString holds wide text and hands out a UTF-8 copy on request.
#pragma once

#include <string>
#include <vector>

#include "cadsim/sdk/acad_types.h"

class AcString {
 public:
  AcString() = default;
  AcString(const ACHAR* text) : m_text(text ? text : L"") {}  // NOLINT: implicit like the host's
  AcString(const std::wstring& text) : m_text(text) {}         // NOLINT
  const ACHAR* kwszPtr() const { return m_text.c_str(); }
  const ACHAR* kACharPtr() const { return m_text.c_str(); }
  const ACHAR* constPtr() const { return m_text.c_str(); }
  operator const ACHAR*() const { return m_text.c_str(); }  // NOLINT
  // The text as UTF-8; the pointer stays valid until the string changes.
  const char* utf8Ptr() const;
  bool isEmpty() const { return m_text.empty(); }
  unsigned length() const { return static_cast<unsigned>(m_text.size()); }
  AcString& operator=(const ACHAR* text) {
    m_text = text ? text : L"";
    return *this;
  }
  AcString& operator+=(const ACHAR* text) {
    if (text) m_text += text;
    return *this;
  }
  bool operator==(const AcString& o) const { return m_text == o.m_text; }
  bool operator!=(const AcString& o) const { return m_text != o.m_text; }
  bool operator==(const ACHAR* o) const { return m_text == (o ? o : L""); }
  bool operator!=(const ACHAR* o) const { return !(*this == o); }
  int compareNoCase(const ACHAR* other) const;

 private:
  std::wstring m_text;
  mutable std::string m_utf8;
};

template <typename T>
class AcArray {
 public:
  AcArray() = default;
  int length() const { return static_cast<int>(m_items.size()); }
  int logicalLength() const { return length(); }
  bool isEmpty() const { return m_items.empty(); }
  AcArray& append(const T& value) {
    m_items.push_back(value);
    return *this;
  }
  T& at(int i) { return m_items.at(static_cast<size_t>(i)); }
  const T& at(int i) const { return m_items.at(static_cast<size_t>(i)); }
  T& operator[](int i) { return at(i); }
  const T& operator[](int i) const { return at(i); }
  bool contains(const T& value) const {
    for (const T& v : m_items)
      if (v == value) return true;
    return false;
  }
  AcArray& removeAll() {
    m_items.clear();
    return *this;
  }
  AcArray& removeAt(int i) {
    if (i >= 0 && i < length()) m_items.erase(m_items.begin() + i);
    return *this;
  }
  const T* asArrayPtr() const { return m_items.data(); }
  typename std::vector<T>::const_iterator begin() const { return m_items.begin(); }
  typename std::vector<T>::const_iterator end() const { return m_items.end(); }

 private:
  std::vector<T> m_items;
};
