// The simulated SDK surface declares what the host's public SDK declares, wherever the plug-in
// or the simulated host uses it: status and result-code numbers, the scopes enumerators live in,
// and the exact type of every member and function the plug-in calls. Everything here is checked
// at compile time, so a drift fails the build.
//
// The expectations are written from the SDK's C++ reference (AutoCAD 2025/2026 release, "ObjectARX
// Reference Guide": the page of each class named in the group comments) and were compiled both
// against the simulated surface and, syntax-only with ORVIK_USE_HOST_SDK, against the SDK's own
// headers (tools/check_host_sdk.sh runs that with this file among the sources).
//
// SDK_BINDS takes the address with the documented type as its target: an overload of another
// shape, a missing const, a pointer for a reference or a narrow string for a wide one does not
// bind. A member inherited from a base binds to a derived member pointer, so the class written in
// the type is the class that declares it in the SDK.
#include <gtest/gtest.h>

#include <type_traits>

#include "host/acad.h"

namespace {

template <class T>
constexpr bool binds(T) {
  return true;
}
#define SDK_BINDS(address, ...) static_assert(binds<__VA_ARGS__>(address), #address)

// --- status numbers (acadstrc.h, "Acad::ErrorStatus Enumeration") ------------------------------
// Every status the plug-in names or the simulated host answers; the companion sees these numbers.
static_assert(std::is_class_v<Acad>, "Acad is a struct in the SDK, not a namespace");
static_assert(Acad::eOk == 0 && Acad::eNotImplementedYet == 1 && Acad::eNotApplicable == 2);
static_assert(Acad::eInvalidInput == 3 && Acad::eAmbiguousInput == 4 && Acad::eAmbiguousOutput == 5);
static_assert(Acad::eOutOfMemory == 6 && Acad::eBufferTooSmall == 7 && Acad::eInvalidOpenState == 8);
static_assert(Acad::eNullHandle == 11 && Acad::eUnknownHandle == 13);
static_assert(Acad::eNullObjectPointer == 15 && Acad::eNullObjectId == 16);
static_assert(Acad::eIllegalEntityType == 21);
static_assert(Acad::eKeyNotFound == 22 && Acad::eDuplicateKey == 23 && Acad::eInvalidIndex == 24);
static_assert(Acad::eInvalidExtents == 30 && Acad::eNullExtents == 312);
static_assert(Acad::eWrongObjectType == 34 && Acad::eWrongDatabase == 35);
static_assert(Acad::eInvalidDwgVersion == 37 && Acad::eEndOfFile == 41);
static_assert(Acad::eNotOpenForRead == 44 && Acad::eNotOpenForWrite == 45);
static_assert(Acad::eNotThatKindOfClass == 46 && Acad::eInvalidDxfCode == 50);
static_assert(Acad::eFilerError == 53 && Acad::eDwgNotRecoverable == 61 && Acad::eDxfReadAborted == 63);
static_assert(Acad::eFileAccessErr == 72 && Acad::eFileNotFound == 76);
static_assert(Acad::eWasErased == 80 && Acad::eWasOpenForRead == 82 && Acad::eWasOpenForWrite == 83);
static_assert(Acad::eWasOpenForNotify == 86 && Acad::eNotInDatabase == 137);
static_assert(Acad::eLockViolation == 320 && Acad::eLockConflict == 321);
static_assert(Acad::eNoDocument == 330 && Acad::eNotFromThisDocument == 331);
static_assert(Acad::eDocumentSwitchDisabled == 334 && Acad::eInvalidContext == 335);
static_assert(Acad::eLayoutNotCurrent == 522);

// --- result codes and result-buffer types (adscodes.h) ------------------------------------------
static_assert(RTNONE == 5000 && RTREAL == 5001 && RTPOINT == 5002 && RTSHORT == 5003);
static_assert(RTANG == 5004 && RTSTR == 5005 && RTENAME == 5006 && RTPICKS == 5007);
static_assert(RTORINT == 5008 && RT3DPOINT == 5009 && RTLONG == 5010 && RTVOID == 5014);
static_assert(RTLB == 5016 && RTLE == 5017 && RTDOTE == 5018 && RTNIL == 5019);
static_assert(RTDXF0 == 5020 && RTT == 5021 && RTRESBUF == 5023 && RTNORM == 5100);
static_assert(RTERROR == -5001 && RTCAN == -5002 && RTREJ == -5003 && RTFAIL == -5004);
static_assert(RTKWORD == -5005);

// --- command flags (accmd.h) --------------------------------------------------------------------
static_assert(ACRX_CMD_MODAL == 0 && ACRX_CMD_TRANSPARENT == 1 && ACRX_CMD_USEPICKSET == 2);
static_assert(ACRX_CMD_REDRAW == 4 && ACRX_CMD_NOPERSPECTIVE == 8 && ACRX_CMD_NOMULTIPLE == 0x10);
static_assert(ACRX_CMD_NOTILEMODE == 0x20 && ACRX_CMD_NOPAPERSPACE == 0x40);
static_assert(ACRX_CMD_UNDEFINED == 0x200 && ACRX_CMD_SESSION == 0x200000);
static_assert(ACRX_CMD_NOHISTORY == 0x800000 && ACRX_CMD_NO_UNDO_MARKER == 0x1000000);

// --- scopes and enumerations --------------------------------------------------------------------
// The SDK's scopes are structs; two of its enumerations are scoped with members repeating them.
static_assert(std::is_class_v<Adesk> && std::is_class_v<AcAp> && std::is_class_v<AcRx> &&
              std::is_class_v<AcDb>);
static_assert(std::is_same_v<std::remove_cv_t<decltype(AcDb::kForRead)>, AcDb::OpenMode>);
static_assert(!std::is_convertible_v<AcDb::OpenMode, int>, "AcDb::OpenMode is an enum class");
static_assert(std::is_same_v<std::remove_cv_t<decltype(AcRx::kRetOK)>, AcRx::AppRetCode>);
static_assert(!std::is_convertible_v<AcRx::AppRetCode, int>, "AcRx::AppRetCode is an enum class");
static_assert(static_cast<int>(AcDb::kForWrite) == 1 && static_cast<int>(AcRx::kRetError) == 3);
static_assert(AcRx::kInitAppMsg == 1 && AcRx::kUnloadAppMsg == 2 && AcRx::kDictSorted == 0);
static_assert(AcAp::kNone == 0 && AcAp::kWrite == 4 && AcAp::kRead == 0x20 && AcAp::kXWrite == 0x40);
static_assert(AcDb::kVisible == 0 && AcDb::kInvisible == 1);
// aced.h: unscoped enumerations whose enumerators sit at global scope ("undoSubcommandActivities",
// "AcadContextMenuMode"); a plug-in name kNone, kOne, kAll, kDefault, kEdit or kCommand visible
// from global code is ambiguous with them on the host.
static_assert(std::is_same_v<decltype(::kNone), undoSubcommandActivities> && ::kNone == 0);
static_assert(std::is_same_v<decltype(::kAll), undoSubcommandActivities> && ::kAll == 2);
static_assert(std::is_same_v<decltype(::kDefault), AcadContextMenuMode> && ::kCommand == 2);
// AcPlPlotFactory.h: the plot state enumeration and its query are global, the factory a class.
static_assert(std::is_class_v<AcPlPlotFactory>);
static_assert(std::is_same_v<decltype(::kNotPlotting), ProcessPlotState> && ::kNotPlotting == 0);
static_assert(::kForegroundPlotting == 1 && ::kBackgroundPlotting == 2);
// "AcApDocManager::DocOpenParams": the initial view is an enumeration of its own.
static_assert(std::is_enum_v<AcApDocManager::DocOpenParams::InitialViewType>);
static_assert(AcApDocManager::DocOpenParams::kDefaultView == 1);
static_assert(AcApDocManager::DocOpenParams::kRequireReadOnly == 2 &&
              AcApDocManager::DocOpenParams::kFileNameArgIsUnicode == 4);
static_assert(std::is_same_v<decltype(AcApDocManager::DocOpenParams::mpwszFileName), const wchar_t*>);
static_assert(std::is_same_v<decltype(AcApDocManager::DocOpenParams::mnFlags), int>);
static_assert(AcPlPlotConfigManager::kAllTypes == 7 && AcPlPlotConfigManager::kRegular == 1 &&
              AcPlPlotConfigManager::kColorDep == 4);
static_assert(AcPlPlotConfigManager::kAll == 0 && AcPlPlotConfigManager::kRefreshDevicesList == 1 &&
              AcPlPlotConfigManager::kRefreshStyleList == 2);
static_assert(AcPlPlotInfoValidator::kMatchEnabled == 2);
static_assert(AcDbHostApplicationServices::kDefault == 0 && AcDbHostApplicationServices::kFontFile == 1);
static_assert(AcDbPlotSettings::kMillimeters == 1 && AcDbPlotSettings::k90degrees == 1 &&
              AcDbPlotSettings::kWindow == 4 && AcDbPlotSettings::kLayout == 5 &&
              AcDbPlotSettings::kScaleToFit == 0);
static_assert(AcDbDatabase::kForReadAndAllShare == 3);
// Strings are wide; a result buffer's string member is writable (the caller frees it).
static_assert(std::is_same_v<ACHAR, wchar_t>);
static_assert(std::is_same_v<decltype(resbuf::resval.rstring), ACHAR*>);
static_assert(std::is_same_v<decltype(resbuf::restype), short>);

// --- members and functions the plug-in calls ----------------------------------------------------
// One line each, grouped by the class whose reference page documents it.
// AcApDocManager
SDK_BINDS(&AcApDocManager::activateDocument, Acad::ErrorStatus (AcApDocManager::*)(AcApDocument *, bool));
SDK_BINDS(&AcApDocManager::addReactor, void (AcApDocManager::*)(AcApDocManagerReactor *));
SDK_BINDS(&AcApDocManager::appContextCloseDocument, Acad::ErrorStatus (AcApDocManager::*)(AcApDocument *));
SDK_BINDS(&AcApDocManager::appContextNewDocument, Acad::ErrorStatus (AcApDocManager::*)(const ACHAR *));
SDK_BINDS(&AcApDocManager::appContextOpenDocument, Acad::ErrorStatus (AcApDocManager::*)(const ACHAR *));
SDK_BINDS(&AcApDocManager::appContextOpenDocument, Acad::ErrorStatus (AcApDocManager::*)(const AcApDocManager::DocOpenParams *));
SDK_BINDS(&AcApDocManager::beginExecuteInApplicationContext, Acad::ErrorStatus (AcApDocManager::*)(void (*)(void *), void *));
SDK_BINDS(&AcApDocManager::curDocument, AcApDocument * (AcApDocManager::*)() const);
SDK_BINDS(&AcApDocManager::disableDocumentActivation, Acad::ErrorStatus (AcApDocManager::*)());
SDK_BINDS(&AcApDocManager::documentCount, int (AcApDocManager::*)() const);
SDK_BINDS(&AcApDocManager::enableDocumentActivation, Acad::ErrorStatus (AcApDocManager::*)());
SDK_BINDS(&AcApDocManager::isApplicationContext, bool (AcApDocManager::*)() const);
SDK_BINDS(&AcApDocManager::isDocumentActivationEnabled, bool (AcApDocManager::*)());
SDK_BINDS(&AcApDocManager::lockDocument, Acad::ErrorStatus (AcApDocManager::*)(AcApDocument *, AcAp::DocLockMode, const ACHAR *, const ACHAR *, bool));
SDK_BINDS(&AcApDocManager::mdiActiveDocument, AcApDocument * (AcApDocManager::*)() const);
SDK_BINDS(&AcApDocManager::newAcApDocumentIterator, AcApDocumentIterator * (AcApDocManager::*)());
SDK_BINDS(&AcApDocManager::removeReactor, void (AcApDocManager::*)(AcApDocManagerReactor *));
SDK_BINDS(&AcApDocManager::sendStringToExecute, Acad::ErrorStatus (AcApDocManager::*)(AcApDocument *, const ACHAR *, bool, bool, bool));
SDK_BINDS(&AcApDocManager::setCurDocument, Acad::ErrorStatus (AcApDocManager::*)(AcApDocument *, AcAp::DocLockMode, bool));
SDK_BINDS(&AcApDocManager::unlockDocument, Acad::ErrorStatus (AcApDocManager::*)(AcApDocument *));

// AcApDocument
SDK_BINDS(&AcApDocument::database, AcDbDatabase * (AcApDocument::*)() const);
SDK_BINDS(&AcApDocument::docTitle, const ACHAR * (AcApDocument::*)() const);
SDK_BINDS(&AcApDocument::fileName, const ACHAR * (AcApDocument::*)() const);
SDK_BINDS(&AcApDocument::inputPointManager, AcEdInputPointManager * (AcApDocument::*)());
SDK_BINDS(&AcApDocument::isNamedDrawing, bool (AcApDocument::*)() const);
SDK_BINDS(&AcApDocument::isQuiescent, bool (AcApDocument::*)() const);
SDK_BINDS(&AcApDocument::isReadOnly, bool (AcApDocument::*)() const);

// AcApDocumentIterator
SDK_BINDS(&AcApDocumentIterator::document, AcApDocument * (AcApDocumentIterator::*)());
SDK_BINDS(&AcApDocumentIterator::done, bool (AcApDocumentIterator::*)() const);
SDK_BINDS(&AcApDocumentIterator::step, void (AcApDocumentIterator::*)());

// AcDbAttribute
SDK_BINDS(&AcDbAttribute::getMTextAttribute, AcDbMText * (AcDbAttribute::*)() const);
SDK_BINDS(&AcDbAttribute::isMTextAttribute, bool (AcDbAttribute::*)() const);
SDK_BINDS(&AcDbAttribute::setInvisible, Acad::ErrorStatus (AcDbAttribute::*)(bool));
SDK_BINDS(&AcDbAttribute::setTag, Acad::ErrorStatus (AcDbAttribute::*)(const ACHAR *));
SDK_BINDS(&AcDbAttribute::tag, Acad::ErrorStatus (AcDbAttribute::*)(AcString &) const);

// AcDbAttributeDefinition
SDK_BINDS(&AcDbAttributeDefinition::isConstant, bool (AcDbAttributeDefinition::*)() const);
SDK_BINDS(&AcDbAttributeDefinition::isInvisible, bool (AcDbAttributeDefinition::*)() const);
SDK_BINDS(&AcDbAttributeDefinition::tagConst, const ACHAR * (AcDbAttributeDefinition::*)() const);

// AcDbBlockReference
SDK_BINDS(&AcDbBlockReference::appendAttribute, Acad::ErrorStatus (AcDbBlockReference::*)(AcDbAttribute *));
SDK_BINDS(&AcDbBlockReference::attributeIterator, AcDbObjectIterator * (AcDbBlockReference::*)() const);
SDK_BINDS(&AcDbBlockReference::blockTableRecord, AcDbObjectId (AcDbBlockReference::*)() const);
SDK_BINDS(&AcDbBlockReference::blockTransform, AcGeMatrix3d (AcDbBlockReference::*)() const);
SDK_BINDS(&AcDbBlockReference::rotation, double (AcDbBlockReference::*)() const);

// AcDbBlockTableRecord
SDK_BINDS(&AcDbBlockTableRecord::appendAcDbEntity, Acad::ErrorStatus (AcDbBlockTableRecord::*)(AcDbEntity *));
SDK_BINDS(&AcDbBlockTableRecord::newIterator, Acad::ErrorStatus (AcDbBlockTableRecord::*)(AcDbBlockTableRecordIterator *&, bool, bool) const);

// AcDbBlockTableRecordIterator
SDK_BINDS(&AcDbBlockTableRecordIterator::done, bool (AcDbBlockTableRecordIterator::*)() const);
SDK_BINDS(&AcDbBlockTableRecordIterator::getEntity, Acad::ErrorStatus (AcDbBlockTableRecordIterator::*)(AcDbEntity *&, AcDb::OpenMode, bool) const);
SDK_BINDS(&AcDbBlockTableRecordIterator::getEntityId, Acad::ErrorStatus (AcDbBlockTableRecordIterator::*)(AcDbObjectId &) const);
SDK_BINDS(&AcDbBlockTableRecordIterator::start, void (AcDbBlockTableRecordIterator::*)(bool, bool));
SDK_BINDS(&AcDbBlockTableRecordIterator::step, void (AcDbBlockTableRecordIterator::*)(bool, bool));

// AcDbDatabase
SDK_BINDS(&AcDbDatabase::currentSpaceId, AcDbObjectId (AcDbDatabase::*)() const);
SDK_BINDS(&AcDbDatabase::getAcDbObjectId, Acad::ErrorStatus (AcDbDatabase::*)(AcDbObjectId &, bool, const AcDbHandle &, Adesk::UInt32));
SDK_BINDS(&AcDbDatabase::getBlockTable, Acad::ErrorStatus (AcDbDatabase::*)(AcDbBlockTable *&, AcDb::OpenMode));
SDK_BINDS(&AcDbDatabase::getLayoutDictionary, Acad::ErrorStatus (AcDbDatabase::*)(AcDbDictionary *&, AcDb::OpenMode));
SDK_BINDS(&AcDbDatabase::getTextStyleTable, Acad::ErrorStatus (AcDbDatabase::*)(AcDbTextStyleTable *&, AcDb::OpenMode));
SDK_BINDS(&AcDbDatabase::layoutDictionaryId, AcDbObjectId (AcDbDatabase::*)() const);
SDK_BINDS(&AcDbDatabase::readDwgFile, Acad::ErrorStatus (AcDbDatabase::*)(const ACHAR *, AcDbDatabase::OpenMode, bool, const ACHAR *));

// AcDbDictionary
SDK_BINDS(&AcDbDictionary::has, bool (AcDbDictionary::*)(const ACHAR *) const);
SDK_BINDS(&AcDbDictionary::newIterator, AcDbDictionaryIterator * (AcDbDictionary::*)() const);

// AcDbDictionaryIterator
SDK_BINDS(&AcDbDictionaryIterator::done, bool (AcDbDictionaryIterator::*)() const);
SDK_BINDS(&AcDbDictionaryIterator::name, const ACHAR * (AcDbDictionaryIterator::*)() const);
SDK_BINDS(&AcDbDictionaryIterator::next, bool (AcDbDictionaryIterator::*)());
SDK_BINDS(&AcDbDictionaryIterator::objectId, AcDbObjectId (AcDbDictionaryIterator::*)() const);

// AcDbDynBlockReference
SDK_BINDS(&AcDbDynBlockReference::dynamicBlockTableRecord, AcDbObjectId (AcDbDynBlockReference::*)() const);
SDK_BINDS(&AcDbDynBlockReference::isDynamicBlock, bool (AcDbDynBlockReference::*)() const);

// AcDbEntity
SDK_BINDS(&AcDbEntity::getGeomExtents, Acad::ErrorStatus (AcDbEntity::*)(AcDbExtents &) const);
SDK_BINDS(&AcDbEntity::isA, AcRxClass * (AcDbEntity::*)() const);
SDK_BINDS(&AcDbEntity::layerId, AcDbObjectId (AcDbEntity::*)() const);
SDK_BINDS(&AcDbEntity::visibility, AcDb::Visibility (AcDbEntity::*)() const);

// AcDbExtents
SDK_BINDS(&AcDbExtents::maxPoint, AcGePoint3d (AcDbExtents::*)() const);
SDK_BINDS(&AcDbExtents::minPoint, AcGePoint3d (AcDbExtents::*)() const);
SDK_BINDS(&AcDbExtents::transformBy, void (AcDbExtents::*)(const AcGeMatrix3d &));

// AcDbHandle
SDK_BINDS(&AcDbHandle::getIntoAsciiBuffer, bool (AcDbHandle::*)(ACHAR *, size_t) const);
SDK_BINDS(&AcDbHandle::isNull, bool (AcDbHandle::*)() const);

// AcDbHostApplicationServices
SDK_BINDS(&AcDbHostApplicationServices::findFile, Acad::ErrorStatus (AcDbHostApplicationServices::*)(AcString &, const ACHAR *, AcDbDatabase *, AcDbHostApplicationServices::FindFileHint));
SDK_BINDS(&AcDbHostApplicationServices::layoutManager, AcDbLayoutManager * (AcDbHostApplicationServices::*)() const);
SDK_BINDS(&AcDbHostApplicationServices::plotSettingsValidator, AcDbPlotSettingsValidator * (AcDbHostApplicationServices::*)() const);
SDK_BINDS(&AcDbHostApplicationServices::workingDatabase, AcDbDatabase * (AcDbHostApplicationServices::*)() const);

// AcDbLayerTableRecord
SDK_BINDS(&AcDbLayerTableRecord::isFrozen, bool (AcDbLayerTableRecord::*)() const);
SDK_BINDS(&AcDbLayerTableRecord::isHidden, bool (AcDbLayerTableRecord::*)() const);
SDK_BINDS(&AcDbLayerTableRecord::isOff, bool (AcDbLayerTableRecord::*)() const);

// AcDbLayout
SDK_BINDS(&AcDbLayout::getBlockTableRecordId, AcDbObjectId (AcDbLayout::*)() const);
SDK_BINDS(&AcDbLayout::getLayoutName, Acad::ErrorStatus (AcDbLayout::*)(const ACHAR *&) const);
SDK_BINDS(&AcDbLayout::getName, Acad::ErrorStatus (AcDbLayout::*)(AcString &) const);
SDK_BINDS(&AcDbLayout::getTabOrder, int (AcDbLayout::*)() const);

// AcDbLayoutManager
SDK_BINDS(&AcDbLayoutManager::findActiveLayout, const ACHAR * (AcDbLayoutManager::*)(bool, const AcDbDatabase *));
SDK_BINDS(&AcDbLayoutManager::findLayoutNamed, AcDbObjectId (AcDbLayoutManager::*)(const ACHAR *, const AcDbDatabase *));
SDK_BINDS(&AcDbLayoutManager::getActiveLayoutName, Acad::ErrorStatus (AcDbLayoutManager::*)(AcString &, bool, const AcDbDatabase *));
SDK_BINDS(&AcDbLayoutManager::setCurrentLayout, Acad::ErrorStatus (AcDbLayoutManager::*)(const ACHAR *, AcDbDatabase *));
SDK_BINDS(&AcDbLayoutManager::setCurrentLayoutId, Acad::ErrorStatus (AcDbLayoutManager::*)(AcDbObjectId));

// AcDbLine
SDK_BINDS(&AcDbLine::endPoint, AcGePoint3d (AcDbLine::*)() const);
SDK_BINDS(&AcDbLine::startPoint, AcGePoint3d (AcDbLine::*)() const);

// AcDbMText
SDK_BINDS(&AcDbMText::text, Acad::ErrorStatus (AcDbMText::*)(AcString &) const);

// AcDbObject
SDK_BINDS(&AcDbObject::assertWriteEnabled, void (AcDbObject::*)(bool, bool));
SDK_BINDS(&AcDbObject::close, Acad::ErrorStatus (AcDbObject::*)());
SDK_BINDS(&AcDbObject::extensionDictionary, AcDbObjectId (AcDbObject::*)() const);
SDK_BINDS(&AcDbObject::isErased, bool (AcDbObject::*)() const);
SDK_BINDS(&AcDbObject::objectId, AcDbObjectId (AcDbObject::*)() const);
SDK_BINDS(&AcDbObject::upgradeOpen, Acad::ErrorStatus (AcDbObject::*)());

// AcDbObjectId
SDK_BINDS(&AcDbObjectId::database, AcDbDatabase * (AcDbObjectId::*)() const);
SDK_BINDS(&AcDbObjectId::handle, AcDbHandle (AcDbObjectId::*)() const);
SDK_BINDS(&AcDbObjectId::isErased, bool (AcDbObjectId::*)() const);
SDK_BINDS(&AcDbObjectId::isNull, bool (AcDbObjectId::*)() const);

// AcDbObjectIterator
SDK_BINDS(&AcDbObjectIterator::done, bool (AcDbObjectIterator::*)() const);
SDK_BINDS(&AcDbObjectIterator::objectId, AcDbObjectId (AcDbObjectIterator::*)());
SDK_BINDS(&AcDbObjectIterator::start, void (AcDbObjectIterator::*)(bool));
SDK_BINDS(&AcDbObjectIterator::step, void (AcDbObjectIterator::*)(bool, bool));

// AcDbPlotSettings
SDK_BINDS(&AcDbPlotSettings::copyFrom, Acad::ErrorStatus (AcDbObject::*)(const AcRxObject *));
SDK_BINDS(&AcDbPlotSettings::getCanonicalMediaName, Acad::ErrorStatus (AcDbPlotSettings::*)(const ACHAR *&) const);
SDK_BINDS(&AcDbPlotSettings::getCurrentStyleSheet, Acad::ErrorStatus (AcDbPlotSettings::*)(const ACHAR *&) const);
SDK_BINDS(&AcDbPlotSettings::getPlotCfgName, Acad::ErrorStatus (AcDbPlotSettings::*)(const ACHAR *&) const);
SDK_BINDS(&AcDbPlotSettings::getPlotPaperMargins, Acad::ErrorStatus (AcDbPlotSettings::*)(double &, double &, double &, double &) const);
SDK_BINDS(&AcDbPlotSettings::getPlotPaperSize, Acad::ErrorStatus (AcDbPlotSettings::*)(double &, double &) const);
SDK_BINDS(&AcDbPlotSettings::modelType, bool (AcDbPlotSettings::*)() const);
SDK_BINDS(&AcDbPlotSettings::setPlotPlotStyles, void (AcDbPlotSettings::*)(bool));
SDK_BINDS(&AcDbPlotSettings::setPrintLineweights, void (AcDbPlotSettings::*)(bool));
SDK_BINDS(&AcDbPlotSettings::setScaleLineweights, void (AcDbPlotSettings::*)(bool));

// AcDbPlotSettingsValidator
SDK_BINDS(&AcDbPlotSettingsValidator::canonicalMediaNameList, Acad::ErrorStatus (AcDbPlotSettingsValidator::*)(AcDbPlotSettings *, AcArray<const ACHAR *> &));
SDK_BINDS(&AcDbPlotSettingsValidator::getLocaleMediaName, Acad::ErrorStatus (AcDbPlotSettingsValidator::*)(AcDbPlotSettings *, const ACHAR *, const ACHAR *&));
SDK_BINDS(&AcDbPlotSettingsValidator::refreshLists, void (AcDbPlotSettingsValidator::*)(AcDbPlotSettings *));
SDK_BINDS(&AcDbPlotSettingsValidator::setCanonicalMediaName, Acad::ErrorStatus (AcDbPlotSettingsValidator::*)(AcDbPlotSettings *, const ACHAR *));
SDK_BINDS(&AcDbPlotSettingsValidator::setCurrentStyleSheet, Acad::ErrorStatus (AcDbPlotSettingsValidator::*)(AcDbPlotSettings *, const ACHAR *));
SDK_BINDS(&AcDbPlotSettingsValidator::setCustomPrintScale, Acad::ErrorStatus (AcDbPlotSettingsValidator::*)(AcDbPlotSettings *, double, double));
SDK_BINDS(&AcDbPlotSettingsValidator::setPlotCentered, Acad::ErrorStatus (AcDbPlotSettingsValidator::*)(AcDbPlotSettings *, bool));
SDK_BINDS(&AcDbPlotSettingsValidator::setPlotCfgName, Acad::ErrorStatus (AcDbPlotSettingsValidator::*)(AcDbPlotSettings *, const ACHAR *, const ACHAR *));
SDK_BINDS(&AcDbPlotSettingsValidator::setPlotOrigin, Acad::ErrorStatus (AcDbPlotSettingsValidator::*)(AcDbPlotSettings *, double, double));
SDK_BINDS(&AcDbPlotSettingsValidator::setPlotPaperUnits, Acad::ErrorStatus (AcDbPlotSettingsValidator::*)(AcDbPlotSettings *, AcDbPlotSettings::PlotPaperUnits));
SDK_BINDS(&AcDbPlotSettingsValidator::setPlotRotation, Acad::ErrorStatus (AcDbPlotSettingsValidator::*)(AcDbPlotSettings *, AcDbPlotSettings::PlotRotation));
SDK_BINDS(&AcDbPlotSettingsValidator::setPlotType, Acad::ErrorStatus (AcDbPlotSettingsValidator::*)(AcDbPlotSettings *, AcDbPlotSettings::PlotType));
SDK_BINDS(&AcDbPlotSettingsValidator::setPlotWindowArea, Acad::ErrorStatus (AcDbPlotSettingsValidator::*)(AcDbPlotSettings *, double, double, double, double));
SDK_BINDS(&AcDbPlotSettingsValidator::setStdScaleType, Acad::ErrorStatus (AcDbPlotSettingsValidator::*)(AcDbPlotSettings *, AcDbPlotSettings::StdScaleType));
SDK_BINDS(&AcDbPlotSettingsValidator::setUseStandardScale, Acad::ErrorStatus (AcDbPlotSettingsValidator::*)(AcDbPlotSettings *, bool));

// AcDbPolyline
SDK_BINDS(&AcDbPolyline::addVertexAt, Acad::ErrorStatus (AcDbPolyline::*)(unsigned int, const AcGePoint2d &, double, double, double, Adesk::Int32));
SDK_BINDS(&AcDbPolyline::getDistAtParam, Acad::ErrorStatus (AcDbPolyline::*)(double, double &) const);
SDK_BINDS(&AcDbPolyline::getEndParam, Acad::ErrorStatus (AcDbPolyline::*)(double &) const);
SDK_BINDS(&AcDbPolyline::getGeomExtents, Acad::ErrorStatus (AcDbPolyline::*)(AcDbExtents &) const);
SDK_BINDS(&AcDbPolyline::numVerts, unsigned int (AcDbPolyline::*)() const);
SDK_BINDS(&AcDbPolyline::setClosed, void (AcDbPolyline::*)(bool));

// AcDbSymbolTable
SDK_BINDS(&AcDbSymbolTable::add, Acad::ErrorStatus (AcDbSymbolTable::*)(AcDbObjectId &, AcDbSymbolTableRecord *));
SDK_BINDS(&AcDbSymbolTable::getAt, Acad::ErrorStatus (AcDbSymbolTable::*)(const ACHAR *, AcDbObjectId &, bool) const);

// AcDbSymbolTableIterator
SDK_BINDS(&AcDbSymbolTableIterator::done, bool (AcDbSymbolTableIterator::*)() const);
SDK_BINDS(&AcDbSymbolTableIterator::start, void (AcDbSymbolTableIterator::*)(bool, bool));
SDK_BINDS(&AcDbSymbolTableIterator::step, void (AcDbSymbolTableIterator::*)(bool, bool));

// AcDbSymbolTableRecord
SDK_BINDS(&AcDbSymbolTableRecord::getName, Acad::ErrorStatus (AcDbSymbolTableRecord::*)(AcString &) const);
SDK_BINDS(&AcDbSymbolTableRecord::getName, Acad::ErrorStatus (AcDbSymbolTableRecord::*)(const ACHAR *&) const);
SDK_BINDS(&AcDbSymbolTableRecord::setName, Acad::ErrorStatus (AcDbSymbolTableRecord::*)(const ACHAR *));

// AcDbText
SDK_BINDS(&AcDbText::height, double (AcDbText::*)() const);
SDK_BINDS(&AcDbText::position, AcGePoint3d (AcDbText::*)() const);
SDK_BINDS(&AcDbText::rotation, double (AcDbText::*)() const);
SDK_BINDS(&AcDbText::setHeight, Acad::ErrorStatus (AcDbText::*)(double));
SDK_BINDS(&AcDbText::setPosition, Acad::ErrorStatus (AcDbText::*)(const AcGePoint3d &));
SDK_BINDS(&AcDbText::setRotation, Acad::ErrorStatus (AcDbText::*)(double));
SDK_BINDS(&AcDbText::setTextString, Acad::ErrorStatus (AcDbText::*)(const ACHAR *));
SDK_BINDS(&AcDbText::textString, Acad::ErrorStatus (AcDbText::*)(AcString &) const);

// AcDbTextStyleTable
SDK_BINDS(&AcDbTextStyleTable::newIterator, Acad::ErrorStatus (AcDbTextStyleTable::*)(AcDbTextStyleTableIterator *&, bool, bool) const);

// AcDbTextStyleTableIterator
SDK_BINDS(&AcDbTextStyleTableIterator::getRecord, Acad::ErrorStatus (AcDbTextStyleTableIterator::*)(AcDbTextStyleTableRecord *&, AcDb::OpenMode, bool) const);

// AcDbTextStyleTableRecord
SDK_BINDS(&AcDbTextStyleTableRecord::bigFontFileName, Acad::ErrorStatus (AcDbTextStyleTableRecord::*)(const ACHAR *&) const);
SDK_BINDS(&AcDbTextStyleTableRecord::fileName, Acad::ErrorStatus (AcDbTextStyleTableRecord::*)(const ACHAR *&) const);
SDK_BINDS(&AcDbTextStyleTableRecord::setBigFontFileName, Acad::ErrorStatus (AcDbTextStyleTableRecord::*)(const ACHAR *));
SDK_BINDS(&AcDbTextStyleTableRecord::setFileName, Acad::ErrorStatus (AcDbTextStyleTableRecord::*)(const ACHAR *));
SDK_BINDS(&AcDbTextStyleTableRecord::setFont, Acad::ErrorStatus (AcDbTextStyleTableRecord::*)(const ACHAR *, bool, bool, Charset, Autodesk::AutoCAD::PAL::FontUtils::FontPitch, Autodesk::AutoCAD::PAL::FontUtils::FontFamily, bool));

// AcDbAbstractViewTableRecord, AcDbViewTableRecord
SDK_BINDS(&AcDbViewTableRecord::setIsPaperspaceView, void (AcDbViewTableRecord::*)(bool));
SDK_BINDS(&AcDbAbstractViewTableRecord::setCenterPoint, void (AcDbAbstractViewTableRecord::*)(const AcGePoint2d &));
SDK_BINDS(&AcDbAbstractViewTableRecord::setHeight, void (AcDbAbstractViewTableRecord::*)(double));
SDK_BINDS(&AcDbAbstractViewTableRecord::setTarget, void (AcDbAbstractViewTableRecord::*)(const AcGePoint3d &));
SDK_BINDS(&AcDbAbstractViewTableRecord::setViewDirection, void (AcDbAbstractViewTableRecord::*)(const AcGeVector3d &));
SDK_BINDS(&AcDbAbstractViewTableRecord::setViewTwist, void (AcDbAbstractViewTableRecord::*)(double));
SDK_BINDS(&AcDbAbstractViewTableRecord::setWidth, void (AcDbAbstractViewTableRecord::*)(double));

// AcDbViewport
SDK_BINDS(&AcDbViewport::getFrozenLayerList, Acad::ErrorStatus (AcDbViewport::*)(AcDbObjectIdArray &) const);

// AcEdCommandStack
SDK_BINDS(&AcEdCommandStack::addCommand, Acad::ErrorStatus (AcEdCommandStack::*)(const ACHAR *, const ACHAR *, const ACHAR *, Adesk::Int32, AcRxFunctionPtr, AcEdUIContext *, int, const AcRxResourceInstance &, AcEdCommand **));
SDK_BINDS(&AcEdCommandStack::removeGroup, Acad::ErrorStatus (AcEdCommandStack::*)(const ACHAR *));

// AcEdInputPointManager
SDK_BINDS(&AcEdInputPointManager::addInputContextReactor, Acad::ErrorStatus (AcEdInputPointManager::*)(AcEdInputContextReactor *));
SDK_BINDS(&AcEdInputPointManager::removeInputContextReactor, Acad::ErrorStatus (AcEdInputPointManager::*)(AcEdInputContextReactor *));

// AcEditor
SDK_BINDS(&AcEditor::addReactor, void (AcEditor::*)(AcRxEventReactor *));
SDK_BINDS(&AcEditor::removeReactor, void (AcEditor::*)(AcRxEventReactor *));

// AcGeMatrix3d
SDK_BINDS(&AcGeMatrix3d::inverse, AcGeMatrix3d (AcGeMatrix3d::*)() const);
SDK_BINDS(&AcGeMatrix3d::planeToWorld, AcGeMatrix3d (*)(const AcGeVector3d &));
SDK_BINDS(&AcGeMatrix3d::preMultBy, AcGeMatrix3d & (AcGeMatrix3d::*)(const AcGeMatrix3d &));
SDK_BINDS(&AcGeMatrix3d::setToRotation, AcGeMatrix3d & (AcGeMatrix3d::*)(double, const AcGeVector3d &, const AcGePoint3d &));
SDK_BINDS(&AcGeMatrix3d::setToTranslation, AcGeMatrix3d & (AcGeMatrix3d::*)(const AcGeVector3d &));

// AcGePoint3d
SDK_BINDS(&AcGePoint3d::distanceTo, double (AcGePoint3d::*)(const AcGePoint3d &) const);
SDK_BINDS(&AcGePoint3d::transformBy, AcGePoint3d & (AcGePoint3d::*)(const AcGeMatrix3d &));

// AcGeVector3d
SDK_BINDS(&AcGeVector3d::length, double (AcGeVector3d::*)() const);

// AcPlPlotConfigInfo
SDK_BINDS(&AcPlPlotConfigInfo::deviceName, const ACHAR * (AcPlPlotConfigInfo::*)() const);

// AcPlPlotConfigManager
SDK_BINDS(&AcPlPlotConfigManager::getDevicesList, bool (AcPlPlotConfigManager::*)(AcArray<AcPlPlotConfigInfo> &));
SDK_BINDS(&AcPlPlotConfigManager::getStyleList, bool (AcPlPlotConfigManager::*)(AcArray<ACHAR *> &, long));
SDK_BINDS(&AcPlPlotConfigManager::refreshList, void (AcPlPlotConfigManager::*)(AcPlPlotConfigManager::RefreshCode));
SDK_BINDS(&AcPlPlotConfigManager::setCurrentConfig, Acad::ErrorStatus (AcPlPlotConfigManager::*)(AcPlPlotConfig *&, const ACHAR *));

// AcPlPlotConfig
SDK_BINDS(&AcPlPlotConfig::getDefaultFileExtension, Acad::ErrorStatus (AcPlPlotConfig::*)(const ACHAR *&) const);

// AcPlPlotEngine
SDK_BINDS(&AcPlPlotEngine::beginDocument, Acad::ErrorStatus (AcPlPlotEngine::*)(AcPlPlotInfo &, const ACHAR *, void *, Adesk::Int32, bool, const ACHAR *));
SDK_BINDS(&AcPlPlotEngine::beginGenerateGraphics, Acad::ErrorStatus (AcPlPlotEngine::*)(void *));
SDK_BINDS(&AcPlPlotEngine::beginPage, Acad::ErrorStatus (AcPlPlotEngine::*)(AcPlPlotPageInfo &, AcPlPlotInfo &, bool, void *));
SDK_BINDS(&AcPlPlotEngine::beginPlot, Acad::ErrorStatus (AcPlPlotEngine::*)(AcPlPlotProgress *, void *));
SDK_BINDS(&AcPlPlotEngine::destroy, void (AcPlPlotEngine::*)());
SDK_BINDS(&AcPlPlotEngine::endDocument, Acad::ErrorStatus (AcPlPlotEngine::*)(void *));
SDK_BINDS(&AcPlPlotEngine::endGenerateGraphics, Acad::ErrorStatus (AcPlPlotEngine::*)(void *));
SDK_BINDS(&AcPlPlotEngine::endPage, Acad::ErrorStatus (AcPlPlotEngine::*)(void *));
SDK_BINDS(&AcPlPlotEngine::endPlot, Acad::ErrorStatus (AcPlPlotEngine::*)(void *));

// AcPlPlotFactory
SDK_BINDS(&AcPlPlotFactory::createPublishEngine, Acad::ErrorStatus (*)(AcPlPlotEngine *&));

// AcPlPlotInfo
SDK_BINDS(&AcPlPlotInfo::setLayout, void (AcPlPlotInfo::*)(AcDbObjectId &));
SDK_BINDS(&AcPlPlotInfo::setOverrideSettings, void (AcPlPlotInfo::*)(const AcDbPlotSettings *));

// AcPlPlotInfoValidator
SDK_BINDS(&AcPlPlotInfoValidator::setMediaMatchingPolicy, void (AcPlPlotInfoValidator::*)(AcPlPlotInfoValidator::MatchingPolicy));
SDK_BINDS(&AcPlPlotInfoValidator::validate, Acad::ErrorStatus (AcPlPlotInfoValidator::*)(AcPlPlotInfo &));

// AcRxClass
SDK_BINDS(&AcRxClass::name, const ACHAR * (AcRxClass::*)() const);

// AcString
SDK_BINDS(&AcString::isEmpty, bool (AcString::*)() const);
SDK_BINDS(&AcString::kwszPtr, const ACHAR * (AcString::*)() const);

// (free functions)
SDK_BINDS(&acDocManagerPtr, AcApDocManager * (*)());
SDK_BINDS(&acdbGetObjectId, Acad::ErrorStatus (*)(AcDbObjectId &, const Adesk::Int64 *));
SDK_BINDS(&acdbHostApplicationServices, AcDbHostApplicationServices * (*)());
SDK_BINDS(&acedGetCurViewportObjectId, AcDbObjectId (*)());
SDK_BINDS(&acedGetString, int (*)(int, const ACHAR *, ACHAR *, size_t));
SDK_BINDS(&acedGetVar, int (*)(const ACHAR *, struct resbuf *));
SDK_BINDS(&acedSSFree, int (*)(const Adesk::Int64 *));
SDK_BINDS(&acedSSGet, int (*)(const ACHAR *, const void *, const void *, const struct resbuf *, Adesk::Int64 *));
SDK_BINDS(&acedSSLength, int (*)(const Adesk::Int64 *, Adesk::Int32 *));
SDK_BINDS(&acedSSName, int (*)(const Adesk::Int64 *, Adesk::Int32, Adesk::Int64 *));
SDK_BINDS(&acedSetCurrentView, Acad::ErrorStatus (*)(AcDbViewTableRecord *, AcDbViewport *));
SDK_BINDS(&acedSetVar, int (*)(const ACHAR *, const struct resbuf *));
SDK_BINDS(&acedUpdateDisplay, void (*)());
SDK_BINDS(&acplPlotConfigManagerPtr, AcPlPlotConfigManager * (*)());
SDK_BINDS(&acplProcessPlotState, ProcessPlotState (*)());
SDK_BINDS(&acutBuildList, struct resbuf * (*)(int, ...));
SDK_BINDS(&acutDelString, void (*)(ACHAR *&));
SDK_BINDS(&acutPrintf, int (*)(const ACHAR *, ...));
SDK_BINDS(&acutRelRb, int (*)(struct resbuf *));

}  // namespace

// A compile-time test; this case records in the test list that the declarations were checked.
TEST(SdkDeclarations, MatchTheHostSdk) { SUCCEED(); }
