// A scoped owner of an object opened from the host: closes it on every path out of the scope.
//
//   OpenedObject<AcDbLayout> layout;
//   if (acdbOpenObject(layout.object, id, AcDb::kForRead) != Acad::eOk) return false;
#pragma once

template <class T>
struct OpenedObject {
  T* object = nullptr;
  OpenedObject() = default;
  OpenedObject(const OpenedObject&) = delete;
  OpenedObject& operator=(const OpenedObject&) = delete;
  ~OpenedObject() {
    if (object) object->close();
  }
};
