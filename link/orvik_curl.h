// Small HTTP helpers for the companion's runtime service, exported for other callers.
//
// The plug-in itself does not call them. Requests go to 127.0.0.1 on the port of the service's
// discovery file, with 30-second socket time-outs; every failure gives an empty text or 0.
#pragma once

#include <cstdint>
#include <string>

namespace OrvikCurl {

// The "port" of the discovery file when it is 1 to 65535, else 0.
int GetNetPort();

// Sends one request with a JSON body and returns the reply body (after the first blank line);
// empty when there is no port, no connection or no blank line.
std::string RawRequest(const std::string& method, const std::string& path, const std::string& body);

std::string HttpGet(const std::string& path);
std::string HttpPost(const std::string& path, const std::string& body);

// Text searches for a quoted key and its colon. Str: the text between the next two double quotes.
// Int: the run of digits and minus signs after spaces and tabs as a 32-bit decimal, 0 when empty
// or not a number. Bool: true when "true" occurs after the colon before the next "," or "}".
std::string ExtractJsonStr(const std::string& json, const std::string& key);
int32_t ExtractJsonInt(const std::string& json, const std::string& key);
bool ExtractJsonBool(const std::string& json, const std::string& key);

// The result escaping of the hub protocol.
std::string JsonEscape(const std::string& text);

}  // namespace OrvikCurl
