// Reading a drawing's paper-space layouts and the attributed block references on each into a
// snapshot, from any database: a side database read from a file, an open document's, or a document
// opened read-only for the purpose. Both readers only read, close everything they open on every
// path, and ask the cancellation callback between steps.
//
// A failure to read the layout dictionary, a layout or its name stops the drawing (and, with a
// context-error status, marks the snapshot so the query may retry it elsewhere); a failure inside
// one layout's blocks stops only that layout, which keeps its place with a block error.
#pragma once

#include <functional>

#include "host/acad.h"
#include "host/opened_object.h"
#include "layouts/drawing_snapshot.h"

namespace OrvikDrawingLayouts {

template <class T>
using ReadObject = OpenedObject<T>;

// Appends the paper-space layouts, ordered by tab order and then by handle text byte by byte; reads
// each layout's blocks when the snapshot asks for them. Main thread.
void ReadLayouts(AcDbDatabase* database, Snapshot& snapshot, const std::function<bool()>& keepGoing);

// Appends the block references of the record that carry attributes, in numeric handle order.
// Main thread.
void ReadBlocks(AcDbObjectId layoutBlockRecord, Layout& layout, const std::function<bool()>& keepGoing);

}  // namespace OrvikDrawingLayouts
