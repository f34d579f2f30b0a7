// Value types of the database layer: handles and the null object id.
#include "cadsim/sdk/acdb.h"

#include <cwchar>

const AcDbObjectId AcDbObjectId::kNull;

AcDbHandle::AcDbHandle(const ACHAR* hex) {
  if (!hex) return;
  Adesk::UInt64 v = 0;
  for (const ACHAR* p = hex; *p; ++p) {
    int digit;
    if (*p >= L'0' && *p <= L'9') digit = *p - L'0';
    else if (*p >= L'a' && *p <= L'f') digit = *p - L'a' + 10;
    else if (*p >= L'A' && *p <= L'F') digit = *p - L'A' + 10;
    else return;  // not a handle: stays null
    if (v >> 60) return;  // more than 16 digits
    v = (v << 4) | static_cast<Adesk::UInt64>(digit);
  }
  m_value = v;
}

bool AcDbHandle::getIntoAsciiBuffer(ACHAR* buffer, size_t length) const {
  if (!buffer || length < 17) return false;
  std::swprintf(buffer, length, L"%llX", static_cast<unsigned long long>(m_value));
  return true;
}
