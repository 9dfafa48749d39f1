#pragma once
// Text conversions between our UTF-8 and the code pages some files are kept in, and the
// clock text every time on screen is written in.
#include <cstdint>
#include <string>

namespace win {

// UTF-8 to code page 936 (GBK); characters GBK lacks become '?'. Returns the input unchanged
// when no converter is available.
std::string Utf8ToCp936(const std::string& utf8);
std::string Cp936ToUtf8(const std::string& gbk);

// GetSystemDefaultLangID from the locale: TVQ_LANGID (decimal or 0x hex) overrides, then
// LC_ALL, LC_MESSAGES, LANG, e.g. zh_CN -> 0x0804, en_US -> 0x0409. 0x0409 when unknown.
uint16_t GetSystemDefaultLangID();
// The language id of a POSIX locale name such as "zh_CN.UTF-8"; 0 when unknown.
uint16_t LangIdFromLocale(const std::string& locale);

// A play position or length as "%d:%02d", minutes and seconds; minutes are never split into
// hours. A negative count (a position not yet known) reads "0:00".
std::string ClockText(int64_t seconds);

}  // namespace win
