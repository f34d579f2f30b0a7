// Runtime class information of the SDK surface: one descriptor per class, linked to its parent.
#include "cadsim/sdk/arx.h"

AcRxClass* AcRxObject::desc() {
  static AcRxClass c(L"AcRxObject", nullptr);
  return &c;
}
AcRxClass* AcRxObject::isA() const { return AcRxObject::desc(); }
Acad::ErrorStatus AcRxObject::copyFrom(const AcRxObject*) { return Acad::eNotApplicable; }

#define CADSIM_DEFINE_MEMBERS(CLASS, PARENT)      \
  AcRxClass* CLASS::desc() {                      \
    static AcRxClass c(L## #CLASS, PARENT::desc()); \
    return &c;                                    \
  }                                               \
  AcRxClass* CLASS::isA() const { return CLASS::desc(); }

CADSIM_DEFINE_MEMBERS(AcDbObject, AcRxObject)
CADSIM_DEFINE_MEMBERS(AcDbDictionary, AcDbObject)
CADSIM_DEFINE_MEMBERS(AcDbSymbolTable, AcDbObject)
CADSIM_DEFINE_MEMBERS(AcDbSymbolTableRecord, AcDbObject)
CADSIM_DEFINE_MEMBERS(AcDbBlockTable, AcDbSymbolTable)
CADSIM_DEFINE_MEMBERS(AcDbBlockTableRecord, AcDbSymbolTableRecord)
CADSIM_DEFINE_MEMBERS(AcDbLayerTable, AcDbSymbolTable)
CADSIM_DEFINE_MEMBERS(AcDbLayerTableRecord, AcDbSymbolTableRecord)
CADSIM_DEFINE_MEMBERS(AcDbTextStyleTable, AcDbSymbolTable)
CADSIM_DEFINE_MEMBERS(AcDbTextStyleTableRecord, AcDbSymbolTableRecord)
CADSIM_DEFINE_MEMBERS(AcDbAbstractViewTableRecord, AcDbSymbolTableRecord)
CADSIM_DEFINE_MEMBERS(AcDbViewTableRecord, AcDbAbstractViewTableRecord)
CADSIM_DEFINE_MEMBERS(AcDbEntity, AcDbObject)
CADSIM_DEFINE_MEMBERS(AcDbCurve, AcDbEntity)
CADSIM_DEFINE_MEMBERS(AcDbLine, AcDbCurve)
CADSIM_DEFINE_MEMBERS(AcDbPolyline, AcDbCurve)
CADSIM_DEFINE_MEMBERS(AcDbText, AcDbEntity)
CADSIM_DEFINE_MEMBERS(AcDbMText, AcDbEntity)
CADSIM_DEFINE_MEMBERS(AcDbAttributeDefinition, AcDbText)
CADSIM_DEFINE_MEMBERS(AcDbAttribute, AcDbText)
CADSIM_DEFINE_MEMBERS(AcDbBlockReference, AcDbEntity)
CADSIM_DEFINE_MEMBERS(AcDbViewport, AcDbEntity)
CADSIM_DEFINE_MEMBERS(AcDbPlotSettings, AcDbObject)
CADSIM_DEFINE_MEMBERS(AcDbLayout, AcDbPlotSettings)
CADSIM_DEFINE_MEMBERS(AcDbLayoutManager, AcRxObject)
