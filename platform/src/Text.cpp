#include "platform/Text.h"

#include <iconv.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace win {
namespace {

std::string Convert(const std::string& in, const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return in;
    std::string out(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL)
            break;
        // A character the target lacks, or a broken sequence: write '?' and skip one byte.
        if (dstLeft == 0)
            break;
        *dst++ = '?';
        --dstLeft;
        ++src;
        --srcLeft;
    }
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

}  // namespace

std::string Utf8ToCp936(const std::string& utf8) {
    return Convert(utf8, "GBK", "UTF-8");
}
std::string Cp936ToUtf8(const std::string& gbk) {
    return Convert(gbk, "UTF-8", "GBK");
}

uint16_t LangIdFromLocale(const std::string& locale) {
    struct Entry {
        std::string_view prefix;
        uint16_t id;
    };
    // Most specific first: a language with a region before the bare language.
    static constexpr Entry kTable[] = {
        {"zh_CN", 0x0804}, {"zh_SG", 0x1004}, {"zh_TW", 0x0404}, {"zh_HK", 0x0C04},
        {"zh_MO", 0x1404}, {"zh", 0x0804},    {"en_GB", 0x0809}, {"en_AU", 0x0C09},
        {"en_CA", 0x1009}, {"en", 0x0409},    {"tr", 0x041F},    {"de", 0x0407},
        {"fr", 0x040C},    {"es", 0x0C0A},    {"it", 0x0410},    {"ja", 0x0411},
        {"ko", 0x0412},    {"ru", 0x0419},    {"pt_BR", 0x0416}, {"pt", 0x0816},
        {"nl", 0x0413},    {"pl", 0x0415},    {"sv", 0x041D},    {"C", 0x0409},
        {"POSIX", 0x0409},
    };
    for (const Entry& e : kTable) {
        if (locale.compare(0, e.prefix.size(), e.prefix) != 0)
            continue;
        const char next = locale.size() > e.prefix.size() ? locale[e.prefix.size()] : '\0';
        if (next == '\0' || next == '_' || next == '.' || next == '@')
            return e.id;
    }
    return 0;
}

uint16_t GetSystemDefaultLangID() {
    if (const char* forced = std::getenv("TVQ_LANGID"); forced && *forced) {
        const long id = std::strtol(forced, nullptr, 0);
        if (id > 0 && id <= 0xFFFF)
            return static_cast<uint16_t>(id);
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value)
            continue;
        if (uint16_t id = LangIdFromLocale(value))
            return id;
    }
    return 0x0409;
}

std::string ClockText(int64_t seconds) {
    if (seconds < 0)
        seconds = 0;
    char text[32];
    std::snprintf(text, sizeof text, "%" PRId64 ":%02d", seconds / 60,
                  static_cast<int>(seconds % 60));
    return text;
}

}  // namespace win
