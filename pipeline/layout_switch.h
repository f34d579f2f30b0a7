// Making a layout (or model space) the current layout of the current drawing at once.
//
// Actions that read or plot a layout switch to it inside their queued task, and the layout
// preservation of pipeline/document_binding.h switches back with the same call. Unlike a "CTAB"
// write typed through the command line, SwitchSpaceSync changes the layout before it returns and
// reports whether the drawing now shows the requested one. Main thread, application context or a
// command; never from another thread.
#pragma once

#include <string>

// Model space answers to both names, whichever the host's language uses.
extern const char* const kModelSpaceName;       // "Model"
extern const char* const kModelSpaceLocalName;  // "模型"
bool IsModelSpaceName(const std::string& name);

// The longest layout name, in host characters, that reaches the host. Longer names are refused
// rather than cut: a cut name could select a different layout.
constexpr size_t kMaxLayoutNameChars = 255;

// True when the layout `name` (UTF-8) is current afterwards. An empty name, no current drawing or
// a name the host refuses by every route gives false. The display is refreshed only when the
// layout actually changed.
bool SwitchSpaceSync(const std::string& name);
