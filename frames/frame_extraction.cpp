#include "frames/frame_extraction.h"

#include <cstdlib>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cwctype>
#include <map>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

#include "host/opened_object.h"
#include "host/platform.h"
#include "host/strings.h"
#include "pipeline/command_queue.h"
#include "pipeline/layout_switch.h"
#include "pipeline/request_json.h"
#include "pipeline/session_actions.h"
#include "plot/plot_catalogues.h"
#include "plugin/messages.h"

namespace {

// Lines within this of an axis count as horizontal or vertical, and corners closer than the gap
// count as closed.
constexpr double kAxisTolerance = 1.0;
constexpr double kCornerTolerance = 5.0;
// References deeper than this are not looked into.
constexpr int kMaximumFrameDepth = 3;
constexpr int kMaximumNestedDepth = 2;

std::mutex g_extractionResultMutex;
std::string g_lastExtractionResult;  // guarded by g_extractionResultMutex

void SetLastResult(const std::string& text) {
  std::lock_guard<std::mutex> lock(g_extractionResultMutex);
  g_lastExtractionResult = text;
}

struct BlockIterator {
  AcDbBlockTableRecordIterator* object = nullptr;
  BlockIterator() = default;
  BlockIterator(const BlockIterator&) = delete;
  BlockIterator& operator=(const BlockIterator&) = delete;
  ~BlockIterator() { delete object; }
};

struct LineSeg {
  AcGePoint3d start, end;
  bool valid = false;
  double length = 0;
  double x() const { return start.x; }
  double y() const { return start.y; }
  double minY() const { return std::min(start.y, end.y); }
  double maxY() const { return std::max(start.y, end.y); }
  double minX() const { return std::min(start.x, end.x); }
  double maxX() const { return std::max(start.x, end.x); }
};

void Offer(LineSeg& candidate, const AcDbLine* line, double length, bool better) {
  if (!candidate.valid || better) candidate = {line->startPoint(), line->endPoint(), true, length};
}

// The rectangle closed by the four outermost lines, when their corners meet.
Rect4 LineFrame(const LineSeg& left, const LineSeg& right, const LineSeg& top, const LineSeg& bottom) {
  Rect4 none;
  if (!left.valid || !right.valid || !top.valid || !bottom.valid) return none;
  if (left.length <= 0 || right.length <= 0 || top.length <= 0 || bottom.length <= 0) return none;
  const double t = kCornerTolerance;
  const bool closed = top.minX() <= left.x() + t && left.maxY() >= top.y() - t &&      // top left
                      top.maxX() >= right.x() - t && right.maxY() >= top.y() - t &&    // top right
                      bottom.maxX() >= right.x() - t && right.minY() <= bottom.y() + t &&  // bottom right
                      bottom.minX() <= left.x() + t && left.minY() <= bottom.y() + t;  // bottom left
  if (!closed) return none;
  const double width = std::fabs(right.x() - left.x()), height = std::fabs(top.y() - bottom.y());
  if (top.length < width - t || left.length < height - t) return none;
  return {left.x(), bottom.y(), right.x(), top.y(), true};
}

// The fixed-point text of "%.4f" in the C locale, whatever locale the host runs in.
void AppendFixed4(std::string& out, double value) {
  char buffer[400];  // DBL_MAX has 309 integer digits
  const std::to_chars_result written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 4);
  out.append(buffer, written.ptr);
}

bool EqualsIgnoreCase(const ACHAR* text, const wchar_t* wanted) {
  if (!text) return false;
  for (; *text && *wanted; ++text, ++wanted)
    if (std::towlower(static_cast<wint_t>(*text)) != std::towlower(static_cast<wint_t>(*wanted))) return false;
  return *text == *wanted;
}

bool ReadCtab(std::string& name) {
  resbuf rb{};
  if (acedGetVar(L"CTAB", &rb) != RTNORM) return false;
  if (rb.restype != RTSTR || !rb.resval.rstring) return false;
  name = OrvikUtf8(rb.resval.rstring);
  std::free(rb.resval.rstring);  // acedGetVar malloc()s its strings
  return true;
}

AcDbDatabase* CurrentDatabase() {
  AcApDocManager* manager = acDocManagerPtr();
  AcApDocument* document = manager ? manager->curDocument() : nullptr;
  return document ? document->database() : nullptr;
}

bool HasCurrentDocument() {
  AcApDocManager* manager = acDocManagerPtr();
  return manager && manager->curDocument();
}

struct ModelOutcome {
  std::string result;
  bool success = true;
  std::string summary;  // the command line's text
};

ModelOutcome RunModelExtraction() {
  ModelOutcome outcome;
  try {
    const OrvikFrameRecognition::Fixture fixture = ExtractModelRecognitionInput();
    outcome.result = OrvikFrameRecognition::Serialize(fixture);
    const auto& input = fixture.RecognitionInput;
    outcome.summary = "Schema 2 input collected: H=" + std::to_string(input.HorizontalLines.size()) +
                      ", V=" + std::to_string(input.VerticalLines.size()) +
                      ", PolylineBounds=" + std::to_string(input.PolylineBounds.size()) + ".";
  } catch (const std::exception& e) {
    outcome = {std::string("Error: Frame recognition extraction failed: ") + e.what(), false, {}};
    outcome.summary = outcome.result;
  } catch (...) {
    outcome = {"Error: Frame recognition extraction failed: unknown native exception.", false, {}};
    outcome.summary = outcome.result;
  }
  return outcome;
}

struct PaperOutcome {
  std::string result;
  const OrvikMessage* message = nullptr;
  int count = 0;
};

PaperOutcome RunPaperExtraction() {
  std::string layout;
  if (!ReadCtab(layout)) return {"Error: Cannot get CTAB", &kMsgExtractCtabFailed};
  if (layout.empty()) return {"Error: Layout name empty", &kMsgExtractLayoutNameEmpty};
  const LayoutFrames frames = CollectLayoutFrames(layout);
  if (!frames.selected) return {"None", &kMsgExtractNoEntities};
  if (frames.count == 0) return {"None", &kMsgExtractNoFrames};
  return {frames.records, &kMsgExtractCompleted, frames.count};
}

void PrintModelLine(const std::string& text) {
  const std::wstring wide = OrvikWide(text);
  acutPrintf(L"\n[Orvik] %s\n", wide.c_str());
}

// The layout names of the layouts JSON, unescaped; a name may hold an escaped quote.
std::vector<std::string> LayoutNames(const std::string& json) {
  std::vector<std::string> names;
  for (size_t i = 0; i < json.size(); ++i) {
    if (json[i] != '"') continue;
    size_t end = i + 1;
    while (end < json.size() && json[end] != '"') end += json[end] == '\\' ? 2 : 1;
    if (end >= json.size()) break;
    std::string name = UnescapeJsonString(std::string_view(json).substr(i + 1, end - i - 1));
    if (!name.empty() && name != kModelSpaceName) names.push_back(std::move(name));
    i = end;
  }
  return names;
}

}  // namespace

Rect4 ExtentsToRect(const AcDbExtents& extents) {
  return {extents.minPoint().x, extents.minPoint().y, extents.maxPoint().x, extents.maxPoint().y, true};
}

double RectArea(const Rect4& rect) { return rect.valid ? (rect.maxX - rect.minX) * (rect.maxY - rect.minY) : 0; }

Rect4 TransformRect(const Rect4& rect, const AcGeMatrix3d& matrix) {
  // The box starts at the first corner: a fixed start value (such as 1e20) would stay the
  // minimum of a frame lying wholly beyond it.
  Rect4 out;
  const AcGePoint3d corners[] = {{rect.minX, rect.minY, 0}, {rect.maxX, rect.minY, 0},
                                 {rect.maxX, rect.maxY, 0}, {rect.minX, rect.maxY, 0}};
  for (AcGePoint3d corner : corners) {
    corner.transformBy(matrix);
    if (!out.valid) {
      out = {corner.x, corner.y, corner.x, corner.y, true};
      continue;
    }
    out.minX = std::min(out.minX, corner.x);
    out.minY = std::min(out.minY, corner.y);
    out.maxX = std::max(out.maxX, corner.x);
    out.maxY = std::max(out.maxY, corner.y);
  }
  return out;
}

namespace {

// The frames already found in one extraction, by definition and depth. A title block nested under
// every reference of a sheet would otherwise be read again for each of them: a layout of 1,000
// references to A, each holding 1,000 references to B, would read B a million times on the main
// thread. The drawing cannot change while one extraction runs.
using BlockExtentMemo = std::map<std::pair<AcDbObjectId, int>, Rect4>;

Rect4 CalcBlockExtent(AcDbObjectId blockDefinition, int depth, BlockExtentMemo& memo);

Rect4 FindBlockExtent(AcDbObjectId blockDefinition, int depth, BlockExtentMemo& memo) {
  Rect4 best;
  OpenedObject<AcDbBlockTableRecord> definition;
  if (acdbOpenObject(definition.object, blockDefinition, AcDb::kForRead) != Acad::eOk) return best;
  BlockIterator it;
  if (definition.object->newIterator(it.object, true, true) != Acad::eOk || !it.object) return best;
  double bestArea = 0;
  LineSeg left, right, top, bottom;
  for (; !it.object->done(); it.object->step(true, true)) {
    OpenedObject<AcDbEntity> entity;
    if (it.object->getEntity(entity.object, AcDb::kForRead) != Acad::eOk) {
      entity.object = nullptr;
      continue;
    }
    if (const AcDbPolyline* polyline = AcDbPolyline::cast(entity.object)) {
      AcDbExtents extents;
      if (polyline->getGeomExtents(extents) != Acad::eOk) continue;
      const Rect4 r = ExtentsToRect(extents);
      if (RectArea(r) > bestArea) {
        best = r;
        bestArea = RectArea(r);
      }
    } else if (const AcDbLine* line = AcDbLine::cast(entity.object)) {
      const AcGePoint3d s = line->startPoint(), e = line->endPoint();
      const double dx = std::fabs(s.x - e.x), dy = std::fabs(s.y - e.y);
      if (dx <= kAxisTolerance) {
        const double x = s.x;
        Offer(left, line, dy, x < left.x() || (std::fabs(x - left.x()) <= kAxisTolerance && dy > left.length));
        Offer(right, line, dy, x > right.x() || (std::fabs(x - right.x()) <= kAxisTolerance && dy > right.length));
      }
      if (dy <= kAxisTolerance) {
        const double y = s.y;
        Offer(top, line, dx, y > top.y() || (std::fabs(y - top.y()) <= kAxisTolerance && dx > top.length));
        Offer(bottom, line, dx, y < bottom.y() || (std::fabs(y - bottom.y()) <= kAxisTolerance && dx > bottom.length));
      }
    } else if (const AcDbBlockReference* reference = AcDbBlockReference::cast(entity.object)) {
      if (depth >= kMaximumNestedDepth) continue;
      const AcDbObjectId inner = reference->blockTableRecord();
      const AcGeMatrix3d transform = reference->blockTransform();
      entity.object->close();
      entity.object = nullptr;
      const Rect4 sub = CalcBlockExtent(inner, depth + 1, memo);
      if (!sub.valid) continue;
      const Rect4 r = TransformRect(sub, transform);
      if (RectArea(r) > bestArea) {
        best = r;
        bestArea = RectArea(r);
      }
    }
  }
  const Rect4 lines = LineFrame(left, right, top, bottom);
  if (lines.valid && RectArea(lines) > bestArea) best = lines;
  return best;
}

Rect4 CalcBlockExtent(AcDbObjectId blockDefinition, int depth, BlockExtentMemo& memo) {
  if (depth >= kMaximumFrameDepth) return Rect4();
  const auto key = std::make_pair(blockDefinition, depth);
  const auto known = memo.find(key);
  if (known != memo.end()) return known->second;
  const Rect4 found = FindBlockExtent(blockDefinition, depth, memo);
  memo.emplace(key, found);
  return found;
}

}  // namespace

Rect4 CalcBlockExtent(AcDbObjectId blockDefinition, int depth) {
  BlockExtentMemo memo;
  return CalcBlockExtent(blockDefinition, depth, memo);
}

OrvikFrameRecognition::Fixture ExtractModelRecognitionInput() {
  ORVIK_ASSERT_MAIN_THREAD();
  AcApDocManager* manager = acDocManagerPtr();
  AcApDocument* document = manager ? manager->curDocument() : nullptr;
  AcDbDatabase* database = document ? document->database() : nullptr;
  if (!database) throw std::runtime_error("No active document for frame recognition extraction.");
  std::string name = OrvikUtf8(document->fileName());
  const size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  return OrvikFrameRecognition::Extract(database, OrvikFrameRecognition::GetProductionSettings(), name);
}

std::string EscapeWildcardPattern(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (const char c : text) {
    if (std::string_view("#@.*?~[]-,`").find(c) != std::string_view::npos) out.push_back('`');
    out.push_back(c);
  }
  return out;
}

std::string FormatFrameRecord(const Rect4& rect, const std::string& layoutName) {
  std::string record = "R;";
  AppendFixed4(record, rect.minX);
  record.push_back(';');
  AppendFixed4(record, rect.minY);
  record.push_back(';');
  AppendFixed4(record, rect.maxX);
  record.push_back(';');
  AppendFixed4(record, rect.maxY);
  record.push_back(';');
  record.append(layoutName);
  record.push_back('\n');
  return record;
}

LayoutFrames CollectLayoutFrames(const std::string& layoutName) {
  ORVIK_ASSERT_MAIN_THREAD();
  LayoutFrames frames;
  // The whole name in UTF-8: a name cut to a byte limit matches no layout, or another one.
  const std::wstring layout = OrvikWide(EscapeWildcardPattern(layoutName));
  resbuf* filter = acutBuildList(RTDXF0, L"LWPOLYLINE,INSERT", 410, layout.c_str(), 0);
  if (!filter) return frames;  // never select without the filter: that would take every layout
  ads_name selection = {0, 0};
  const int status = acedSSGet(L"X", nullptr, nullptr, filter, selection);
  acutRelRb(filter);
  if (status != RTNORM) return frames;
  // Freed on every way out, an exception from formatting a record included.
  struct FreeSelection {
    ads_name& set;
    ~FreeSelection() { acedSSFree(set); }
  } freeSelection{selection};
  frames.selected = true;
  BlockExtentMemo memo;
  Adesk::Int32 length = 0;
  if (acedSSLength(selection, &length) != RTNORM) length = 0;
  for (Adesk::Int32 i = 0; i < length; ++i) {
    ads_name name = {0, 0};
    AcDbObjectId id;
    if (acedSSName(selection, i, name) != RTNORM || acdbGetObjectId(id, name) != Acad::eOk) continue;
    OpenedObject<AcDbEntity> entity;
    if (acdbOpenObject(entity.object, id, AcDb::kForRead) != Acad::eOk) {
      entity.object = nullptr;
      continue;
    }
    const ACHAR* className = entity.object->isA()->name();
    if (EqualsIgnoreCase(className, L"AcDbPolyline")) {
      AcDbExtents extents;
      if (entity.object->getGeomExtents(extents) != Acad::eOk) continue;
      frames.records += FormatFrameRecord(ExtentsToRect(extents), layoutName);
      ++frames.count;
    } else if (EqualsIgnoreCase(className, L"AcDbBlockReference")) {
      const AcDbBlockReference* reference = AcDbBlockReference::cast(entity.object);
      if (!reference) continue;
      const AcDbObjectId definition = reference->blockTableRecord();
      const AcGeMatrix3d transform = reference->blockTransform();
      entity.object->close();
      entity.object = nullptr;
      const Rect4 extent = CalcBlockExtent(definition, 0, memo);
      if (!extent.valid) continue;
      const Rect4 r = TransformRect(extent, transform);
      if (!r.valid) continue;
      frames.records += FormatFrameRecord(r, layoutName);
      ++frames.count;
    }
  }
  return frames;
}

void orvikNativeExtractCmd() {
  try {
    const std::string reqId = g_currentTaskReqId;
    const ModelOutcome outcome = RunModelExtraction();
    SetLastResult(outcome.result);
    // Completed once, whatever the printing below does.
    OnTaskComplete(reqId, outcome.result, outcome.success);
    PrintModelLine(outcome.summary);
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
}

void orvikNativeExtractPaperCmd() {
  try {
    const std::string reqId = g_currentTaskReqId;
    acutPrintf(orvikText(kMsgExtractStart));
    PaperOutcome outcome;
    bool success = true;
    try {
      outcome = RunPaperExtraction();
    } catch (const std::exception& e) {
      outcome.result = std::string("Error: Frame extraction failed: ") + e.what();
      success = false;
    }
    SetLastResult(outcome.result);
    OnTaskComplete(reqId, outcome.result, success);
    if (outcome.message == &kMsgExtractCompleted) acutPrintf(orvikText(kMsgExtractCompleted), outcome.count);
    else if (outcome.message) acutPrintf(orvikText(*outcome.message));
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
}

namespace {

// Any caller may hold these functions, but drawings may be read on the host's main thread only: a
// read from elsewhere races the user's own work on the drawing. The violation is still reported.
bool OnHostMainThread(const char* function) {
  if (OrvikIsMainThread()) return true;
  OrvikReportThreadViolation(function);
  return false;
}

}  // namespace

std::string GetLastExtractionResult() {
  std::lock_guard<std::mutex> lock(g_extractionResultMutex);
  return g_lastExtractionResult;
}

std::string PerformEntityExtraction() {
  if (!OnHostMainThread(__func__)) return std::string();
  SwitchSpace(kModelSpaceName);
  SetLastResult("");
  if (!HasCurrentDocument()) return std::string();
  const ModelOutcome outcome = RunModelExtraction();
  SetLastResult(outcome.result);
  return outcome.result;
}

std::string PerformPaperEntityExtraction() {
  if (!OnHostMainThread(__func__)) return std::string();
  SetLastResult("");
  if (!HasCurrentDocument()) return std::string();
  std::string result;
  try {
    result = RunPaperExtraction().result;
  } catch (const std::exception& e) {
    result = std::string("Error: Frame extraction failed: ") + e.what();
  }
  SetLastResult(result);
  return result;
}

std::string PerformCurrentSpaceExtraction() {
  if (!OnHostMainThread(__func__)) return std::string();
  return IsModelSpaceName(CurrentSpaceName()) ? PerformEntityExtraction() : PerformPaperEntityExtraction();
}

std::string PerformAllPapersExtraction() {
  if (!OnHostMainThread(__func__)) return std::string();
  if (!HasCurrentDocument()) return std::string();
  const std::string json = GetLayoutsJson();
  if (json.empty() || json == "[]") return "None";
  std::string all;
  for (const std::string& name : LayoutNames(json)) {
    // A layout that cannot be made current would report the previous layout's frames again.
    if (SwitchSpace(name) != RTNORM) continue;
    const std::string result = PerformPaperEntityExtraction();
    if (!result.empty() && result != "None") all += result;
  }
  SwitchSpace(kModelSpaceName);
  return all.empty() ? "None" : all;
}

std::string PerformEntityExtractionDirect(bool paper) {
  if (!OnHostMainThread(__func__)) return std::string();
  if (!paper) return OrvikFrameRecognition::Serialize(ExtractModelRecognitionInput());
  if (!HasCurrentDocument() || !CurrentDatabase()) return "None";
  const LayoutFrames frames = CollectLayoutFrames(CurrentSpaceName());
  return frames.count > 0 ? frames.records : "None";
}
