#include "support/ErrorLog.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "platform/Paths.h"

namespace {

constexpr const char* kDefaultFileName = "ErrorLog.txt";

bool HasFolder(const std::string& name) {
    return name.find_first_of("/\\") != std::string::npos;
}

}  // namespace

CErrorLog::CErrorLog() : m_fileName(kDefaultFileName) {}

CErrorLog::~CErrorLog() = default;

void CErrorLog::SetFileName(const char* name) {
    std::lock_guard lock(m_mutex);
    m_fileName = name ? name : "";
    if (m_fileName.size() > kMaxFileNameBytes)
        m_fileName.resize(kMaxFileNameBytes);
}

std::string CErrorLog::GetFileName() const {
    std::lock_guard lock(m_mutex);
    return m_fileName;
}

std::string CErrorLog::FormatTimeStamp(const std::tm& local) {
    char header[96];
    std::snprintf(header, sizeof header, "[%d-%d-%d, %d:%d:%d]\n", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return header;
}

void CErrorLog::Log(const char* format, ...) {
    if (!format)
        return;
    std::lock_guard lock(m_mutex);
    // Resolved once, so later entries go to the same file even if the folder changes.
    if (!HasFolder(m_fileName))
        m_fileName = win::WritableFolder(win::ProgramFolder()) + m_fileName;

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local))
        return;

    std::FILE* file = std::fopen(win::ToNativePath(m_fileName).c_str(), "a+");
    if (!file)
        return;  // a lost trace must never disturb the caller
    std::fputs(FormatTimeStamp(local).c_str(), file);
    va_list args;
    va_start(args, format);
    std::vfprintf(file, format, args);
    va_end(args);
    std::fclose(file);
}
