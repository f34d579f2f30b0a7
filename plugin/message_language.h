// The language of command-line messages.
//
// The plug-in has no language setting of its own: it follows the companion shell's user-interface
// preference, read from $HOME/Library/Application Support/OrvikKelmShell/ui-preferences.json
// afresh on every call (no cache, so a change in the shell applies from the next message). A
// missing, unreadable or malformed file means "en-US". Safe on any thread; keeps no state.
//
// Print messages with acutPrintf(orvikText(kMsg...), ...) using the table in plugin/messages.h.
// Texts sent back to the companion are never translated.
#pragma once

#include <string>
#include <string_view>

#include "host/acad.h"

// "zh-CN", "zh-TW" or "en-US" from the shell's preference file.
std::string orvikReadUiLocale();

// The same reading, for the UTF-8 no-active-drawing message.
std::string readBootLocale();

// zhCN for "zh-CN", zhTW for "zh-TW", en otherwise (and en whenever the chosen text is null).
const ACHAR* orvikText(const ACHAR* zhCN, const ACHAR* zhTW, const ACHAR* en);

// The UTF-8 message shown when a shell page is asked for without a usable drawing, naming the
// command that asked.
std::string noActiveDocumentMessage(const std::string& commandName);

// The locale a preference file's content selects: a text search for "schemaVersion" (must be the
// integer 1) and "locale", not a JSON parse. Any content is safe.
std::string LocaleFromPreferencesText(std::string_view text);

// The preference file's path, or empty when HOME is unset or empty.
std::string UiPreferencesPath();
