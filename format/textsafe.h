#pragma once
#include <string>
#include <string_view>

// Labels, paths and messages come from files and scripts that may hold any
// bytes; these turn them into text that is valid for its reader and can
// never drive a terminal.

// The text with every byte that starts no valid UTF-8 sequence (overlong
// forms and surrogates included) replaced by U+FFFD.
std::string validutf8(std::string_view text);

// A JSON string literal: invalid UTF-8 becomes U+FFFD, control characters
// (C0, DEL and C1) are escaped as \uXXXX.
std::string jsonstring(std::string_view text);

// Text for XML content or an attribute: invalid UTF-8 and the characters XML
// forbids become U+FFFD, other control characters \xNN, markup is escaped.
std::string xmltext(std::string_view text);

// Text for a terminal: control characters and invalid bytes shown as \xNN
// (C1 as \u00NN), a backslash as \\, so no escape sequence gets through.
std::string visibletext(std::string_view text);

// Columns a UTF-8 text takes on a terminal, counted one per character.
size_t displaywidth(std::string_view text);
