#pragma once

#include <string_view>

namespace dlv {

// Field intNthOccurance of strString, fields being separated by strSeperator
// (in this program always ","). Field 0 runs from the start of the line to the
// first separator; a line with m separators has the fields 0..m. A field that
// the line does not have, and any negative field number, gives the empty text.
// Nothing is trimmed. The result points into strString. O(length of the line).
[[nodiscard]] std::string_view AFSEP(std::string_view strString, long long intNthOccurance,
                                     std::string_view strSeperator);

}  // namespace dlv
