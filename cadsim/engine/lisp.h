// The simulated host's AutoLISP subset, evaluated in a drawing as the command line does.
//
// Engine use only (the command line calls it for text that starts with "("). Forms: setvar,
// getvar, princ, prin1, print, command, progn, strcat, quote, exit and quit; strings with the
// escapes \" \\ \n \t \r \e and octal ones, integers, reals, nil, T, nested forms, comments.
// Anything else is an error. A command that fails inside (command ...) is reported and the
// evaluation goes on.
#pragma once

#include <string>

class AcApDocument;

namespace cadsim {

// Evaluates every form of `text` in `doc`, echoing the last value as the host does. On an error
// prints "; error: <message>" and answers false; (exit) and (quit) end it so too, with the host's
// "; error: quit / exit abort". A drawing closed by a command the evaluation ran ends it there,
// quietly, with false. The caller cancels the rest of its input on false.
bool evaluateLisp(AcApDocument* doc, const std::wstring& text);

// Whether the text's parentheses are balanced outside strings and comments (a form typed over
// several lines is evaluated once it is complete).
bool lispComplete(const std::wstring& text);

}  // namespace cadsim
