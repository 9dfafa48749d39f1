#pragma once
// A tiny append-only trace file for failures the user is never told about. Each entry is a
// local time stamp line "[year-month-day, hour:minute:second]" followed by the caller's
// message, written exactly as formatted (callers end their formats with "\n"). The file is
// opened, written and closed for every entry, so it stays readable while the program runs.
#include <ctime>
#include <mutex>
#include <string>

class CErrorLog {
public:
    // Longest name SetFileName keeps, in bytes (the name lived in a 128-byte buffer).
    static constexpr size_t kMaxFileNameBytes = 127;

    CErrorLog();
    virtual ~CErrorLog();
    CErrorLog(const CErrorLog&) = delete;
    CErrorLog& operator=(const CErrorLog&) = delete;

    // A bare file name ("ErrorLog.txt") is placed in the program's writable folder at the first
    // entry; a name with a folder in it ('/' or '\') is used as it stands, relative or absolute.
    void SetFileName(const char* name);
    std::string GetFileName() const;

    // Appends one entry. Never fails visibly: when the file cannot be opened the entry is lost.
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // The header line of an entry for that local time, e.g. "[2010-4-3, 9:5:3]\n".
    static std::string FormatTimeStamp(const std::tm& local);

private:
    // Several threads of the audio output log through one object: the lock keeps the lazy
    // resolution of the name and the entries themselves from mixing.
    mutable std::mutex m_mutex;
    std::string m_fileName;  // under m_mutex
};
