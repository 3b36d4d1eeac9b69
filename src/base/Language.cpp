// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Language.h"

#include <atomic>

namespace kolvex {

namespace {
std::atomic<std::int32_t> g_language{1};
std::atomic<char> g_decimalSeparator{'.'};
}  // namespace

std::int32_t LanguageValue() { return g_language.load(); }
void SetLanguage(std::int32_t value) { g_language.store(value); }

Lang EffectiveLanguage(std::int32_t value) { return value == 1 ? Lang::English : Lang::Czech; }
Lang CurrentLanguage() { return EffectiveLanguage(g_language.load()); }

std::string Tr(std::string_view cs, std::string_view en) { return Tr(CurrentLanguage(), cs, en); }
std::string Tr(Lang lang, std::string_view cs, std::string_view en) {
    return std::string(lang == Lang::English ? en : cs);
}

char DecimalSeparator() { return g_decimalSeparator.load(); }
void SetDecimalSeparator(char sep) { g_decimalSeparator.store(sep); }

}  // namespace kolvex
