// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text of dBASE character and memo fields in the code page that the table's
// header names (byte 29, the language driver mark). Tables without a mark, or
// with a mark of a code page not known here, are read as Windows 1250, the
// code page of the program's own tables.

#include <cstdint>
#include <string>
#include <string_view>

namespace kolvex::dbf {

enum class CodePage { Cp1250, Cp1251, Cp1252, Cp437, Cp850, Cp852, Cp866 };

CodePage CodePageOfMark(std::uint8_t mark);
std::string DecodeText(CodePage cp, std::string_view bytes);
// Characters without a form in the code page become '?'; invalid UTF-8 bytes too.
std::string EncodeText(CodePage cp, std::string_view utf8);

}  // namespace kolvex::dbf
