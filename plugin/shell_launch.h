// Commands that open the companion's user interface (its shell) on a page for this client.
//
// The page URL carries this CAD client's identifier, so the shell talks to the right client. A
// page is opened only for a confirmed drawing: a request made while the active drawing is still
// opening waits, and the readiness probe finishes it (finishPendingWorkspace); a switch to another
// drawing first drops it silently. With no usable drawing the command prints why. ORVIKHOME needs
// no drawing. Everything here runs on the host's main thread.
#pragma once

#include <string>

// Command handlers of "ORVIKPLOT", "ORVIKSHEETSET", "ORVIKSETTING" and "ORVIKHOME".
void orvikShowCmd();
void orvikSheetSetCmd();
void orvikSettingsCmd();
void orvikHomeCmd();

// Opens the page `route` now for a confirmed drawing, later for one still opening, or prints the
// no-active-drawing message naming `commandName`.
void openClientWorkspace(const std::string& route, const std::string& commandName);
void openShellHome();
void openShellWithClient(const std::string& clientId, const std::string& clientName, const std::string& route);

// Percent-encodes every byte but ASCII letters, digits and "-_.~".
std::string urlEncode(const std::string& text);

// Called at the end of every readiness probe: opens a page that was waiting for confirmation.
void finishPendingWorkspace();
// Drops a page request still waiting for confirmation (unload).
void clearPendingWorkspace();
