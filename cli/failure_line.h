// How the command line says why it failed: one line on stderr, "kestrelworks:"
// and the message. A file or member name may hold line breaks or other
// control characters; they are written escaped ("\u000a") so that the
// message stays one line whatever it quotes.
#pragma once

#include <string>

namespace kw {

void PrintFailure(const std::string& message);

// The message as PrintFailure writes it, without the prefix and line end.
std::string OneLine(const std::string& message);

// The same for a text of several lines (a warning): its line breaks stay.
std::string Printable(const std::string& text);

}  // namespace kw
