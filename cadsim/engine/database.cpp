// Drawing databases, handles and object ids of the simulated host.
#include <cwchar>

#include "cadsim/engine/state.h"

const AcDbObjectId AcDbObjectId::kNull;

namespace cadsim {

ObjectStub* DatabaseData::newStub() {
  stubs.push_back(ObjectStub{owner, handseed++});
  return &stubs.back();
}

LayoutData* DatabaseData::findLayout(const std::wstring& name) {
  for (auto& l : layouts)
    if (upper(l.name) == upper(name)) return &l;
  return nullptr;
}

}  // namespace cadsim

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

AcDbHandle AcDbObjectId::handle() const { return m_stub ? AcDbHandle(m_stub->handle) : AcDbHandle(); }
AcDbDatabase* AcDbObjectId::database() const { return m_stub ? m_stub->database : nullptr; }

AcDbDatabase::AcDbDatabase(bool buildDefaultDrawing, bool)
    : m_data(std::make_unique<cadsim::DatabaseData>(this)) {
  if (!buildDefaultDrawing) return;
  // A new drawing from the default template: model space and two paper-space layouts.
  const wchar_t* names[] = {L"Model", L"Layout1", L"Layout2"};
  for (int i = 0; i < 3; ++i) {
    cadsim::LayoutData l;
    l.name = names[i];
    l.tabOrder = i;
    l.stub = m_data->newStub();
    m_data->layouts.push_back(l);
  }
}

AcDbDatabase::~AcDbDatabase() = default;

namespace {
AcDbDatabase* g_workingDatabase = nullptr;
}

AcDbDatabase* AcDbHostApplicationServices::workingDatabase() const {
  return g_workingDatabase ? g_workingDatabase : cadsim::currentDatabase();
}

void AcDbHostApplicationServices::setWorkingDatabase(AcDbDatabase* db) { g_workingDatabase = db; }

AcDbLayoutManager* AcDbHostApplicationServices::layoutManager() const { return nullptr; }

AcDbHostApplicationServices* acdbHostApplicationServices() {
  static AcDbHostApplicationServices services;
  return &services;
}
