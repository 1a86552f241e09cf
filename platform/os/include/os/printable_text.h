// Text from files (item names, paths, project names) made safe to print on a terminal:
// control characters would otherwise move the cursor, clear the screen or retitle the
// window. They are shown as \xHH (paths keep their backslashes as they are).
#pragma once

#include <string>
#include <string_view>

namespace os {

// `keepLayout` leaves tab and newline as they are (a listing's own layout); everything
// else below 0x20, and 0x7F, is escaped.
std::string PrintableText(std::string_view text, bool keepLayout = false);

}  // namespace os
