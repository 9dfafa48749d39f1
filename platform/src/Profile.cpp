#include "platform/Profile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string_view>
#include <vector>

namespace win {
namespace {

constexpr std::string_view kBlanks = " \t\r\n\f\v";

std::string_view Trim(std::string_view s) {
    const size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const size_t last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A file as lines (without their ends), plus how it ended them, so a write keeps its style.
struct IniText {
    std::vector<std::string> lines;
    std::string eol = "\n";
};

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return std::move(text).str();
}

IniText SplitLines(const std::string& text) {
    IniText ini;
    size_t start = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        start = 3;  // a UTF-8 byte-order mark
    bool sawCrLf = false;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        size_t stop = end;
        if (stop > start && text[stop - 1] == '\r') {
            --stop;
            sawCrLf = true;
        }
        ini.lines.emplace_back(text, start, stop - start);
        start = end + 1;
    }
    if (sawCrLf)
        ini.eol = "\r\n";
    return ini;
}

// The section name of a "[name]" line, or nullopt for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    const size_t close = line.find(']');
    if (close == std::string_view::npos)
        return Trim(line.substr(1));
    return Trim(line.substr(1, close - 1));
}

// Splits a "key=value" line; nullopt for comments and lines without '='.
std::optional<std::pair<std::string_view, std::string_view>> KeyValue(std::string_view line) {
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';')
        return std::nullopt;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return std::make_pair(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
}

std::string_view Unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// Reading many keys in a row is the common case (language files), so the last file read is
// kept, keyed by its modification time and size.
class IniCache {
public:
    std::shared_ptr<const IniText> Get(const std::string& path) {
        struct stat st {};
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return nullptr;
        std::lock_guard lk(mutex_);
        if (text_ && path == path_ && st.st_mtim.tv_sec == mtime_.tv_sec &&
            st.st_mtim.tv_nsec == mtime_.tv_nsec && st.st_size == size_)
            return text_;
        auto raw = ReadWholeFile(path);
        if (!raw)
            return nullptr;
        text_ = std::make_shared<IniText>(SplitLines(*raw));
        path_ = path;
        mtime_ = st.st_mtim;
        size_ = st.st_size;
        return text_;
    }
    void Forget() {
        std::lock_guard lk(mutex_);
        text_.reset();
    }

private:
    std::mutex mutex_;
    std::shared_ptr<const IniText> text_;
    std::string path_;
    timespec mtime_{};
    off_t size_ = 0;
};

IniCache& Cache() {
    static IniCache cache;
    return cache;
}

std::optional<std::string> FindValue(const std::string& section, const std::string& key,
                                     const std::string& file) {
    auto ini = Cache().Get(file);
    if (!ini)
        return std::nullopt;
    bool inSection = false;
    for (const std::string& line : ini->lines) {
        if (auto name = SectionName(line)) {
            if (inSection)
                return std::nullopt;  // the first matching section wins
            inSection = EqualNoCase(*name, section);
            continue;
        }
        if (!inSection)
            continue;
        auto kv = KeyValue(line);
        if (kv && EqualNoCase(kv->first, key))
            return std::string(Unquote(kv->second));
    }
    return std::nullopt;
}

bool WriteLines(const IniText& ini, const std::string& file) {
    const std::string temp = file + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        for (const std::string& line : ini.lines) out << line << ini.eol;
        if (!out.flush())
            return false;
    }
    return std::rename(temp.c_str(), file.c_str()) == 0;
}

}  // namespace

std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& defaultValue, const std::string& file,
                             uint32_t maxLength) {
    std::string value;
    if (auto found = FindValue(section, key, file))
        value = std::move(*found);
    else
        value = std::string(defaultValue.substr(0, defaultValue.find_last_not_of(' ') + 1));
    if (value.size() > maxLength)
        value.resize(maxLength);
    return value;
}

uint32_t GetPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                                 char* buffer, uint32_t size, const std::string& file) {
    if (!buffer || size == 0)
        return 0;
    std::string value =
        (section && key)
            ? GetProfileString(section, key, defaultValue ? defaultValue : "", file, size - 1)
            : std::string();
    std::memcpy(buffer, value.data(), value.size());
    buffer[value.size()] = '\0';
    return static_cast<uint32_t>(value.size());
}

int GetPrivateProfileInt(const char* section, const char* key, int defaultValue,
                         const std::string& file) {
    if (!section || !key)
        return defaultValue;
    auto found = FindValue(section, key, file);
    if (!found)
        return defaultValue;
    std::string_view v = *found;
    bool negative = false;
    if (!v.empty() && v.front() == '-') {
        negative = true;
        v.remove_prefix(1);
    }
    long long n = 0;
    for (char c : v) {
        if (c < '0' || c > '9')
            break;
        n = n * 10 + (c - '0');
        if (n > 0xFFFFFFFFLL)
            break;  // Windows wraps; we only keep from overflowing
    }
    return static_cast<int>(negative ? -n : n);
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value,
                               const std::string& file) {
    if (!section)
        return false;
    IniText ini;
    if (auto raw = ReadWholeFile(file))
        ini = SplitLines(*raw);
    Cache().Forget();

    // Locate the section: its header line and the line after its last non-blank line.
    std::optional<size_t> header;
    size_t sectionEnd = ini.lines.size();
    for (size_t i = 0; i < ini.lines.size(); ++i) {
        auto name = SectionName(ini.lines[i]);
        if (!name)
            continue;
        if (header) {
            sectionEnd = i;
            break;
        }
        if (EqualNoCase(*name, section))
            header = i;
    }
    if (!header) {
        if (!key || !value)
            return true;  // nothing to delete
        ini.lines.push_back(std::string("[") + section + "]");
        ini.lines.push_back(std::string(key) + "=" + value);
        return WriteLines(ini, file);
    }
    if (!key) {  // delete the whole section
        ini.lines.erase(ini.lines.begin() + static_cast<long>(*header),
                        ini.lines.begin() + static_cast<long>(sectionEnd));
        return WriteLines(ini, file);
    }
    size_t insertAt = *header + 1;
    for (size_t i = *header + 1; i < sectionEnd; ++i) {
        if (!Trim(ini.lines[i]).empty())
            insertAt = i + 1;
        auto kv = KeyValue(ini.lines[i]);
        if (!kv || !EqualNoCase(kv->first, key))
            continue;
        if (value)
            ini.lines[i] = std::string(key) + "=" + value;
        else
            ini.lines.erase(ini.lines.begin() + static_cast<long>(i));
        return WriteLines(ini, file);
    }
    if (!value)
        return true;
    ini.lines.insert(ini.lines.begin() + static_cast<long>(insertAt),
                     std::string(key) + "=" + value);
    return WriteLines(ini, file);
}

}  // namespace win
