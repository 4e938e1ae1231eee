// Strict UTF-8 validation of string bytes inside serialised values.
//
// Rules: a lead byte 00-7F stands alone; C2-DF takes one continuation byte;
// E0-EF two, F0-F4 three. Continuation bytes are 80-BF, except the byte after
// E0 (A0-BF, no overlong forms), ED (80-9F, no surrogates), F0 (90-BF, no
// overlong forms) and F4 (80-8F, nothing past U+10FFFF). 80-C1 and F5-FF never
// lead.
//
// A failure names the index where the valid prefix ends and, for an invalid
// sequence, the length of its longest prefix that could still have been valid
// plus the offending byte (1 to 3 bytes). Input that ends inside a sequence
// that was valid so far is "incomplete" instead.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane::ffi {

// nullopt for valid UTF-8, else the reason text.
std::optional<std::string> utf8_error(std::string_view bytes);

}  // namespace orvane::ffi
