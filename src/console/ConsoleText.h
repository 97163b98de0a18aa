#pragma once
// Text for the console's pages: HTML and JSON escaping, times, and the checks on the names
// that URLs carry.
#include <ctime>
#include <string>
#include <string_view>

namespace kestrom {

// & < > " ' escaped: device-supplied text (file names, log lines) never becomes markup.
std::string HtmlEscape(std::string_view text);
// A JSON string with its quotes.
std::string JsonString(std::string_view text);
// "MM/DD/YYYY HH:MM:SS" in local time, as the event log writes it; "" for 0.
std::string TimeText(std::time_t t);
// A plain file name of a meet folder: letters, digits, '-', '_', '.' and blanks, not starting
// with '.', at most 128 bytes. Anything that could name another folder fails.
bool PlainFileName(std::string_view name);
// The same bytes whatever their content, in a time that does not tell how much matched.
bool SameSecret(std::string_view a, std::string_view b);

}  // namespace kestrom
