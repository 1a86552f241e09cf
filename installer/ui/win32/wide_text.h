// The installer keeps its texts in UTF-8; the Windows calls take UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace ui::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

}  // namespace ui::win32
