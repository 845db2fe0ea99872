// How a file name appears in a message. A name is data: one holding a line
// end, an escape sequence or bytes that are no UTF-8 must neither forge a
// line of its own nor drive the terminal, so such a name is shown quoted
// as a shell would take it back:
//
//   a<newline>b      'a'$'\n''b'
//   <ESC>[2J.tun     $'\033''[2J.tun'
//   don't<tab>.tun   'don'\''t'$'\t''.tun'
//
// Printable runs go between single quotes (a single quote as \'), and each
// run of other bytes goes into $'...' with \a \b \t \n \v \f \r or three
// octal digits a byte. Quoted are names holding a control character
// (U+0000 to U+001F, U+007F to U+009F), a line or paragraph separator
// (U+2028, U+2029) or bytes that are no UTF-8, names beginning with ' or $
// (which would look quoted), and the empty name (''). Every other name is
// shown as it is.
#pragma once

#include <string>
#include <string_view>

namespace names {

std::string shown_name(std::string_view name);

// The name cut to its first and last `keep` bytes or so (whole characters)
// with "..." between, then shown: for names too long to show whole.
std::string shown_shortened(std::string_view name, size_t keep);

}  // namespace names
