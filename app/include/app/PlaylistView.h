#pragma once
// The playlist the user sees: list control 1046 of the main dialog, with the full path of each
// file and its length. It is the master copy of the list; the playlist player only gets a copy
// of its names each time playback starts. Files that are not movies of our format (checked by
// their fixed header) are not added, and a path already listed (in any case) is only selected.
//
// Threads: user-interface thread only.
#include <cstdint>
#include <string>
#include <vector>

class COwnerDrawListCtrl;
class IPlayerControl;

class CPlaylistView {
public:
    static constexpr int kHeaderBytes = 28;
    static constexpr int kLengthOffset = 84;
    static constexpr int kFileNameColumnWidth = 200;
    static constexpr int kTimeColumnWidth = 80;
    static constexpr int kPopupDeleteCommand = 32784;

    // What the view needs from the dialog that holds it.
    class Host {
    public:
        virtual ~Host() = default;
        virtual bool IsPlaying() const = 0;
        virtual IPlayerControl& Player() = 0;
        virtual void SetSliderUsable(bool usable) = 0;
        // What the next button does.
        virtual void OnNext() = 0;
        // Tells the program's trace (if on) about a change of the list.
        virtual void Trace(const std::string& line) = 0;
    };

    CPlaylistView(COwnerDrawListCtrl& list, Host& host);

    // Column set-up: "File name" and "Time", grid lines and full-row selection, no rows.
    void SetupColumns();

    // The fixed 28-byte header of a movie file, size fields included.
    static bool IsTvqHeader(const uint8_t* header);
    // Length in seconds from the packed time at offset 84; -1 when the file cannot be read or
    // is not a movie of our format.
    static int32_t ReadMovieLength(const std::string& path);
    // "%d:%02d": minutes are not split into hours.
    static std::string FormatTime(int32_t seconds);

    // True when the path is a movie of our format; otherwise one line on standard error says
    // so. Files named on a command line come here: the list only ever shows movies, so a
    // refused name would otherwise vanish without a word.
    static bool CheckGivenFile(const std::string& path);

    void ClearSelection();
    // Selects the row, shows it and gives the list the keyboard focus.
    void FocusRow(int row);
    // Whether the path is listed afterwards (added now or before).
    bool AddFileToList(const std::string& path);
    // A file named on a command line (this copy's or a second copy's): as AddFileToList, and
    // a refused one is reported on standard error.
    bool AddGivenFile(const std::string& path);
    // Adds every dropped path whose extension is "tvq" (any case); returns how many.
    int AddDroppedFiles(const std::vector<std::string>& paths);
    // Command 32784. Returns whether rows remain.
    bool DeleteSelected();
    bool AddToPlayer(const std::string& path);
    void LoadPlayerList();
    void MarkPlayingItem(const std::string& name);
    // Clears the playing mark (-1).
    void ClearPlayingItem();

    // The path of the first selected row, or "".
    std::string FirstSelectedName() const;
    int RowCount() const;
    std::string PathAt(int row) const;

private:
    // The line on standard error for a refused file; always false.
    static bool ReportRefused(const std::string& path);
    int FindRow(const std::string& path) const;

    COwnerDrawListCtrl& m_list;
    Host& m_host;
};
