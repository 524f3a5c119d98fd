// Small text helpers on bytes with ASCII case folding.
#pragma once

#include <string>

std::string ToLowerAscii(std::string s);
std::string ToUpperAscii(std::string s);

// Every occurrence of `from` replaced by `to`, left to right; the inserted
// text is not searched again. An empty `from` leaves the text as it is.
std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to);
