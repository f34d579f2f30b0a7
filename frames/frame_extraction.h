// Native frame extraction: the commands that answer "extractFrames", the rectangle functions and
// the frame-finding of block definitions, and the exported extraction functions.
//
// The drain hands an extraction to the drawing's command line (frame_actions.h) so that it runs in
// a document's command context; the command does the work, keeps its result as the last
// extraction result and completes the task. "orvik-native-extract" answers model space's
// recognition input as Schema 2 JSON; "orvik-native-extract-paper" answers one record
// "R;minX;minY;maxX;maxY;layout\n" per frame on the current paper layout, or "None".
//
// Everything here runs on the host's main thread; the last extraction result has its own mutex.
#pragma once

#include <string>

#include "frames/recognition_input.h"
#include "host/acad.h"

struct Rect4 {
  double minX = 0;
  double minY = 0;
  double maxX = 0;
  double maxY = 0;
  bool valid = false;
};

Rect4 ExtentsToRect(const AcDbExtents& extents);
// (maxX - minX) x (maxY - minY) when valid, else 0.
double RectArea(const Rect4& rect);
// The bounding box of the four corners transformed at Z = 0.
Rect4 TransformRect(const Rect4& rect, const AcGeMatrix3d& matrix);

// The frame of a block definition in its own coordinates: the largest by area of any polyline's
// extents, any nested reference's transformed frame (two levels down at most), and the rectangle
// closed by the outermost long lines. Invalid when nothing qualifies or depth is 3 or more.
Rect4 CalcBlockExtent(AcDbObjectId blockDefinition, int depth);

// The current document's model space with the production settings; the drawing's file name
// without its folder. Throws the subsystem's runtime error, or "No active document for frame
// recognition extraction." without a drawing.
OrvikFrameRecognition::Fixture ExtractModelRecognitionInput();

// A layout name as a selection filter value that matches that name only: the host reads filter
// strings as wildcard patterns, so every character with a meaning there is escaped.
std::string EscapeWildcardPattern(const std::string& text);

// One frame record, with no bound on its length (coordinates may have hundreds of digits).
std::string FormatFrameRecord(const Rect4& rect, const std::string& layoutName);

// The frames of one paper layout: whether the selection found polylines or block references
// there, how many frames they gave, and their records.
struct LayoutFrames {
  bool selected = false;
  int count = 0;
  std::string records;
};
LayoutFrames CollectLayoutFrames(const std::string& layoutName);

// The command handlers, registered at load.
void orvikNativeExtractCmd();
void orvikNativeExtractPaperCmd();

// Exported functions, not called by the system itself. They run the extraction at once on the
// calling (main) thread: a command typed from there could not run before they returned. Called on
// any other thread they report the thread violation and return an empty text without touching a
// drawing.
std::string GetLastExtractionResult();
std::string PerformEntityExtraction();
std::string PerformPaperEntityExtraction();
std::string PerformCurrentSpaceExtraction();
std::string PerformAllPapersExtraction();
std::string PerformEntityExtractionDirect(bool paper);
