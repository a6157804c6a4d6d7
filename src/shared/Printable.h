#pragma once

#include <string>
#include <string_view>

namespace tovin {

// `text`, from another program, made safe to show on one line of a terminal: each control
// character (C0, DEL and, in UTF-8, C1, which can start escape sequences) becomes a space. Every
// other byte stays as it is, UTF-8 or not.
std::string printable(std::string_view text);

} // namespace tovin
