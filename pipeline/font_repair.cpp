#include "pipeline/font_repair.h"

#include <cstdio>
#include <memory>

#include "host/opened_object.h"
#include "host/platform.h"
#include "pipeline/command_dispatch.h"
#include "pipeline/document_binding.h"
#include "plugin/messages.h"

namespace {


const ACHAR* const kReplacementFont = L"txt.shx";
const ACHAR* const kReplacementBigFont = L"gbcbig.shx";

std::wstring Copy(const ACHAR* text) { return text ? std::wstring(text) : std::wstring(); }

bool NeedsRepair(const AcDbTextStyleTableRecord* record) {
  const ACHAR* font = nullptr;
  const ACHAR* bigFont = nullptr;
  // Copied at once: the record's texts change when it is repaired below.
  const std::wstring fontFile = record->fileName(font) == Acad::eOk ? Copy(font) : std::wstring();
  const std::wstring bigFontFile = record->bigFontFileName(bigFont) == Acad::eOk ? Copy(bigFont) : std::wstring();
  if (fontFixIsMissing(fontFile.c_str())) return true;
  return !bigFontFile.empty() && fontFixIsMissing(bigFontFile.c_str());
}

bool Repair(AcDbTextStyleTableRecord* record) {
  if (record->upgradeOpen() != Acad::eOk) return false;
  // An empty typeface turns off any TrueType font, so the shape files below take effect.
  record->setFont(L"", false, false, static_cast<Charset>(0),
                  static_cast<Autodesk::AutoCAD::PAL::FontUtils::FontPitch>(0),
                  static_cast<Autodesk::AutoCAD::PAL::FontUtils::FontFamily>(0), false);
  record->setFileName(kReplacementFont);
  record->setBigFontFileName(kReplacementBigFont);
  record->assertWriteEnabled(true, true);
  return true;
}

}  // namespace

bool fontFixIsMissing(const ACHAR* fontFileName) {
  if (!fontFileName || !*fontFileName) return true;
  AcDbHostApplicationServices* services = acdbHostApplicationServices();
  if (!services) return true;
  AcString found;
  const Acad::ErrorStatus es = services->findFile(found, fontFileName, services->workingDatabase(),
                                                  AcDbHostApplicationServices::kFontFile);
  return es != Acad::eOk || found.isEmpty();
}

std::string PerformFixMissingFonts() {
  ORVIK_ASSERT_MAIN_THREAD();
  AcApDocManager* manager = acDocManagerPtr();
  AcApDocument* document = manager ? manager->mdiActiveDocument() : nullptr;
  if (!document) return "Error: No active document.";
  AcDbDatabase* database = document->database();
  if (!database) return "Error: No database.";

  int repaired = 0;
  {
    OpenedObject<AcDbTextStyleTable> styles;
    if (database->getTextStyleTable(styles.object, AcDb::kForRead) != Acad::eOk || !styles.object) {
      styles.object = nullptr;
      return "Error: Cannot open text style table.";
    }
    AcDbTextStyleTableIterator* it = nullptr;
    if (styles.object->newIterator(it, true, true) != Acad::eOk || !it) {
      delete it;
      return "Error: Cannot create style iterator.";
    }
    std::unique_ptr<AcDbTextStyleTableIterator> owner(it);
    for (it->start(true, true); !it->done(); it->step(true, true)) {
      OpenedObject<AcDbTextStyleTableRecord> style;
      if (it->getRecord(style.object, AcDb::kForRead) != Acad::eOk || !style.object) {
        style.object = nullptr;
        continue;
      }
      if (NeedsRepair(style.object) && Repair(style.object)) ++repaired;
    }
    owner.reset();
  }

  if (repaired == 0) {
    acutPrintf(orvikText(kMsgFontsAllAvailable));
    return "OK";
  }
  manager->sendStringToExecute(document, L"_REGENALL\n", false, false, false);
  char result[64];
  std::snprintf(result, sizeof result, "FIXED:%d", repaired);
  acutPrintf(orvikText(kMsgFontsRepaired), repaired);
  return result;
}

namespace {

TaskOutcome FixMissingFontsTask(const CommandTask&, AcApDocManager* manager) {
  const TaskDocument locked = LockCurrentDocument(manager);
  if (!locked) return TaskOutcome::Done(locked.error);
  return TaskOutcome::Done(PerformFixMissingFonts());
}

const ActionRow kFontActions[] = {
    {"fixMissingFonts", kFixMissingFonts, ActionParams::kNone, nullptr, true, ActionAnswer::kQueued, nullptr,
     nullptr, FixMissingFontsTask},
};

}  // namespace

void RegisterFontRepairActions() { RegisterActions(kFontActions); }
