// The text helpers every plot answer shares: the JSON string escaper, the membership test the plot
// actions run against the catalogue answers, number formatting, and the name comparisons.
//
// The answers are written inside a host process whose C locale may use a decimal comma and whose
// names may hold any UTF-8 (or stray control characters), so nothing here depends on the process
// locale and every byte below 0x20 is escaped. All functions are pure and safe on any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The text made safe inside a JSON string: double quote and backslash escaped, line feed and
// carriage return as \n and \r, every other byte below 0x20 as \u00XX; all else copied unchanged.
std::string EscapeLayoutPlotJson(std::string_view text);

// True when one string of the JSON text (a key or a value) is exactly `value` once escaped. Quotes
// inside an escaped string never start a match, so "a" is not found in ["b\"a"]. Case-sensitive.
bool JsonContainsString(std::string_view json, std::string_view value);

// Every string of the JSON text (keys and values), decoded, in text order. For reading the names
// of a catalogue answer back.
std::vector<std::string> JsonStrings(std::string_view json);

// Byte-wise comparison folding the ASCII letters only: bytes of other scripts never fold, so two
// different non-Latin names never compare equal, whatever the process locale.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
// ASCII letters lower-cased, every other byte as it is.
std::string AsciiLower(std::string_view text);

// The part after the last "/" or "\", or the whole text when neither occurs.
std::string PlotStyleFileName(std::string_view nameOrPath);

// Numbers as JSON, in the classic locale whatever the process's: six decimals ("420.000000"), or
// six significant digits without trailing zeros ("0", "100", "1e+06"). JSON has no infinity or
// NaN: a value that is not finite is written as null.
std::string FormatFixedSix(double value);
std::string FormatShortNumber(double value);
