// Utility value types of the SDK surface: the host's string.
#include "cadsim/sdk/acutil.h"

#include "cadsim/control/strings.h"

const char* AcString::utf8Ptr() const {
  m_utf8 = cadsim::narrow(m_text);
  return m_utf8.c_str();
}

int AcString::compareNoCase(const ACHAR* other) const {
  std::wstring a = cadsim::upper(m_text), b = cadsim::upper(other ? other : L"");
  return a < b ? -1 : a > b ? 1 : 0;
}
