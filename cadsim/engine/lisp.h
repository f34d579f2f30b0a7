// The simulated host's AutoLISP subset, evaluated in a drawing as the command line does.
//
// Engine use only (the command line calls it for text that starts with "("). Forms: setvar,
// getvar, princ, prin1, print, command, progn, strcat, quote; strings with \" \\ \n \t \r \e and
// octal escapes, integers, reals, nil, T, nested forms, comments. Anything else is an error.
#pragma once

#include <string>

class AcApDocument;

namespace cadsim {

// Evaluates every form of `text` in `doc`, echoing the last value as the host does. On an error
// prints "; error: <message>" and answers false; the caller cancels the rest of its input.
bool evaluateLisp(AcApDocument* doc, const std::wstring& text);

// Whether the text's parentheses are balanced outside strings and comments (a form typed over
// several lines is evaluated once it is complete).
bool lispComplete(const std::wstring& text);

}  // namespace cadsim
