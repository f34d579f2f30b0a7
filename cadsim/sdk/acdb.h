// Database layer of the SDK surface: handles, object ids, drawing databases and the host
// application services.
//
// The simulated database keeps what the plug-in reads; its internals live in cadsim/engine.
#pragma once

#include <memory>

#include "cadsim/sdk/acad_types.h"

class AcDbDatabase;
class AcDbLayoutManager;

namespace cadsim {
struct DatabaseData;
struct ObjectStub;
}  // namespace cadsim

// A persistent object handle: a 64-bit number written as upper-case hexadecimal text.
class AcDbHandle {
 public:
  AcDbHandle() = default;
  explicit AcDbHandle(Adesk::UInt64 value) : m_value(value) {}
  explicit AcDbHandle(const ACHAR* hex);
  bool isNull() const { return m_value == 0; }
  Adesk::UInt64 value() const { return m_value; }
  // Writes the hexadecimal text with a terminator; needs at most 17 characters.
  bool getIntoAsciiBuffer(ACHAR* buffer, size_t length) const;
  bool operator==(const AcDbHandle& o) const { return m_value == o.m_value; }
  bool operator!=(const AcDbHandle& o) const { return m_value != o.m_value; }

 private:
  Adesk::UInt64 m_value = 0;
};

// The in-session identity of a database object. Null unless it names an object of a live database.
class AcDbObjectId {
 public:
  AcDbObjectId() = default;
  static const AcDbObjectId kNull;
  bool isNull() const { return m_stub == nullptr; }
  bool isValid() const { return m_stub != nullptr; }
  AcDbHandle handle() const;
  AcDbDatabase* database() const;
  bool operator==(const AcDbObjectId& o) const { return m_stub == o.m_stub; }
  bool operator!=(const AcDbObjectId& o) const { return m_stub != o.m_stub; }
  bool operator<(const AcDbObjectId& o) const { return m_stub < o.m_stub; }

  // Engine use: ids are made by the database that owns the object.
  explicit AcDbObjectId(cadsim::ObjectStub* stub) : m_stub(stub) {}
  cadsim::ObjectStub* stub() const { return m_stub; }

 private:
  cadsim::ObjectStub* m_stub = nullptr;
};

class AcDbDatabase {
 public:
  explicit AcDbDatabase(bool buildDefaultDrawing = true, bool noDocument = false);
  ~AcDbDatabase();
  AcDbDatabase(const AcDbDatabase&) = delete;
  AcDbDatabase& operator=(const AcDbDatabase&) = delete;

  // Engine use.
  cadsim::DatabaseData& data() { return *m_data; }
  const cadsim::DatabaseData& data() const { return *m_data; }

 private:
  std::unique_ptr<cadsim::DatabaseData> m_data;
};

class AcDbHostApplicationServices {
 public:
  AcDbDatabase* workingDatabase() const;
  void setWorkingDatabase(AcDbDatabase* db);
  AcDbLayoutManager* layoutManager() const;
};

AcDbHostApplicationServices* acdbHostApplicationServices();
