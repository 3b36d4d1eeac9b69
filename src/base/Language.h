// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program-wide language choice. The stored value comes from the
// configuration record: 0 Czech, 1 English; anything above 1 counts as Czech.
// Every caption and message is composed from it at the moment it is shown.

#include <cstdint>
#include <string>
#include <string_view>

namespace kolvex {

enum class Lang : int { Czech = 0, English = 1 };

// The raw stored value (may be above 1; it is kept as read).
std::int32_t LanguageValue();
void SetLanguage(std::int32_t value);

// The effective language: a stored value above 1 (or negative) is Czech.
Lang CurrentLanguage();
Lang EffectiveLanguage(std::int32_t value);

// Picks the Czech or the English text by the current language.
std::string Tr(std::string_view cs, std::string_view en);
std::string Tr(Lang lang, std::string_view cs, std::string_view en);

// Decimal separator of the user's regional settings, used where a number is
// shown "with the regional decimal separator". The desktop program sets it
// from its locale; the default is a full stop.
char DecimalSeparator();
void SetDecimalSeparator(char sep);

}  // namespace kolvex
