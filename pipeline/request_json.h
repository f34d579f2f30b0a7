// Field readers for request parameter JSON, and the JSON string escaper for replies.
//
// Requests are never parsed into a tree: each action pulls the few members it needs straight out
// of the text. Every reader searches for the quoted key from the start of the text and the first
// occurrence wins, wherever it stands (also inside a nested object or a string value); to read a
// member of a nested object, cut the object out with JsonObjectValue first and read inside that.
// A key whose value is not of the reader's kind (null, a number, an array, a string where an
// object is expected) reads as absent. The readers keep no state and are safe on any thread.
//
// The four Read* readers serve the queue drain: they assign to `target` only when the key and a
// value of their kind are found, so the target's prior value acts as the default. ReadPlainNumber
// and ReadRawNumber throw std::invalid_argument / std::out_of_range (from std::stod) when the value
// is not a number; every other reader never throws except on allocation failure.
#pragma once

#include <string>
#include <string_view>

#include "host/strings.h"  // EscapeJsonString, shared with the link

// Removes one leading and one trailing double quote; no unescaping.
std::string QuoteStripped(const std::string& text);

// The unescaped string value of `key`, or empty when it is missing, not a string or unterminated.
std::string JsonStringValue(std::string_view json, std::string_view key);

// The number value of `key` read with std::stod (leading white space skipped, longest valid
// prefix), or `fallback` when it is missing or does not convert (quoted, null, out of range).
double JsonNumberValue(std::string_view json, std::string_view key, double fallback);

// true / false for a bare true / false after the colon; `fallback` for anything else.
bool JsonBoolValue(std::string_view json, std::string_view key, bool fallback);

// The object value of `key` from its "{" to the matching "}" (braces inside strings not counted),
// or empty when it is missing, not an object or unbalanced.
std::string JsonObjectValue(std::string_view json, std::string_view key);

// Decodes the content of a JSON string (without its quotes) to UTF-8. Lenient: an unknown escape
// or a malformed \u escape stays as written; an unpaired surrogate becomes U+FFFD.
std::string UnescapeJsonString(std::string_view text);

// The raw text between the first two double quotes after the key (no unescaping: an escaped quote
// inside the value ends it early, keeping its backslash).
void ReadQuotedText(std::string_view json, std::string_view key, std::string& target);

// The value text up to the next ",", "}", line feed or carriage return, leading spaces removed,
// converted with std::stod. An empty value leaves target untouched; anything else may throw.
void ReadPlainNumber(std::string_view json, std::string_view key, double& target);

// A quoted value (null and non-strings leave target untouched) ending at the first quote not
// preceded by a backslash, passed through SimpleUnescape.
void ReadEscapedQuotedText(std::string_view json, std::string_view key, std::string& target);

// As ReadPlainNumber, but leading spaces are left to std::stod.
void ReadRawNumber(std::string_view json, std::string_view key, double& target);

// Backslash-n gives a line feed, backslash-r a carriage return, backslash-u with four hexadecimal
// digits the code point in UTF-8 (a surrogate pair combined, an unpaired one U+FFFD), a backslash before anything else
// gives that character; a final lone backslash stays.
std::string SimpleUnescape(std::string_view text);
