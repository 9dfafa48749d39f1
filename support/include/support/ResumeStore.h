#pragma once
// Where each recently played movie was left, so that opening it again starts there. Kept in a
// small ini file of its own beside settings.ini (section "Resume", keys 1 .. 50, most recent
// first, each value "SECOND PATH" with the path's blanks, '%' and '"' escaped as %XX). A file
// that cannot be read, or a line that does not parse, only means those movies start at 0.
//
// Threads: any; the user-interface thread keeps positions, the playlist thread asks for them.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class CResumeStore {
public:
    static constexpr size_t kMaxMovies = 50;  // the most recent movies remembered
    // Left this close to the start or the end (seconds), a movie starts again from 0: the user
    // either barely began it or watched it through.
    static constexpr int32_t kEndMarginSeconds = 10;
    static constexpr const char* kFileName = "resume.ini";

    explicit CResumeStore(std::string path);

    // Remembers that `movie` was left at `second`, as the most recent one; forgets it when the
    // second is within the margin of either end. Writes the file.
    void Keep(const std::string& movie, int32_t second, int32_t lengthSeconds);
    // The second to start `movie` at given its length now: 0 unless it was left away from
    // both ends.
    int32_t StartSecond(const std::string& movie, int32_t lengthSeconds) const;

private:
    struct Entry {
        std::string movie;
        int32_t second = 0;
    };
    static bool AwayFromEnds(int32_t second, int32_t lengthSeconds);
    void LoadLocked() const;
    void SaveLocked() const;

    const std::string m_path;
    mutable std::mutex m_mutex;
    mutable bool m_loaded = false;         // under m_mutex: the file has been read
    mutable std::vector<Entry> m_entries;  // under m_mutex: most recent first
};
