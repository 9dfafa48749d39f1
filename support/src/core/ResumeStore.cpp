#include "support/ResumeStore.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/Profile.h"

namespace {

constexpr const char* kSection = "Resume";
// The longest value read back; a longer line is taken as garbled.
constexpr uint32_t kMaxValueBytes = 4095;

bool NeedsEscape(unsigned char c) {
    return c <= ' ' || c == '%' || c == '"' || c == 0x7F;
}

std::string Escape(const std::string& path) {
    std::string out;
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (NeedsEscape(c)) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out;
}

// False when a %XX is cut short or not hexadecimal.
bool Unescape(const std::string& text, std::string* path) {
    path->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            path->push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        const std::string hex = text.substr(i + 1, 2);
        if (!std::isxdigit(static_cast<unsigned char>(hex[0])) ||
            !std::isxdigit(static_cast<unsigned char>(hex[1])))
            return false;
        const long c = std::strtol(hex.c_str(), nullptr, 16);
        path->push_back(static_cast<char>(c));
        i += 2;
    }
    return !path->empty();
}

}  // namespace

CResumeStore::CResumeStore(std::string path) : m_path(std::move(path)) {}

bool CResumeStore::AwayFromEnds(int32_t second, int32_t lengthSeconds) {
    return second >= kEndMarginSeconds && int64_t{lengthSeconds} - second >= kEndMarginSeconds;
}

void CResumeStore::Keep(const std::string& movie, int32_t second, int32_t lengthSeconds) {
    if (movie.empty())
        return;
    std::lock_guard lock(m_mutex);
    LoadLocked();
    std::erase_if(m_entries, [&](const Entry& e) { return e.movie == movie; });
    if (AwayFromEnds(second, lengthSeconds)) {
        m_entries.insert(m_entries.begin(), Entry{movie, second});
        if (m_entries.size() > kMaxMovies)
            m_entries.resize(kMaxMovies);
    }
    SaveLocked();
}

int32_t CResumeStore::StartSecond(const std::string& movie, int32_t lengthSeconds) const {
    std::lock_guard lock(m_mutex);
    LoadLocked();
    for (const Entry& e : m_entries)
        if (e.movie == movie)
            return AwayFromEnds(e.second, lengthSeconds) ? e.second : 0;
    return 0;
}

void CResumeStore::LoadLocked() const {
    if (m_loaded)
        return;
    m_loaded = true;
    for (size_t i = 1; i <= kMaxMovies; ++i) {
        const std::string value =
            win::GetProfileString(kSection, std::to_string(i), "", m_path, kMaxValueBytes);
        const size_t blank = value.find(' ');
        if (blank == std::string::npos)
            continue;
        const std::string number = value.substr(0, blank);
        char* end = nullptr;
        errno = 0;
        const long second = std::strtol(number.c_str(), &end, 10);
        if (number.empty() || end != number.c_str() + number.size() || errno == ERANGE ||
            second < 0 || second > INT32_MAX)
            continue;
        Entry entry;
        entry.second = static_cast<int32_t>(second);
        if (!Unescape(value.substr(blank + 1), &entry.movie))
            continue;
        const bool seen = std::any_of(m_entries.begin(), m_entries.end(),
                                      [&](const Entry& e) { return e.movie == entry.movie; });
        if (!seen)
            m_entries.push_back(std::move(entry));
    }
}

void CResumeStore::SaveLocked() const {
    // Written whole beside the old file and renamed over it, so that a crash in between
    // leaves the old list rather than half a new one.
    const std::string temporary = m_path + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        if (!out)
            return;
        out << '[' << kSection << "]\n";
        for (size_t i = 0; i < m_entries.size(); ++i)
            out << i + 1 << '=' << m_entries[i].second << ' ' << Escape(m_entries[i].movie) << '\n';
        if (!out.flush()) {
            out.close();
            std::remove(temporary.c_str());
            return;
        }
    }
    std::rename(temporary.c_str(), m_path.c_str());
}
