#pragma once
// Every text the player shows, in three groups addressed by index: TitleInfo (message-box
// titles), DebugInfo (messages) and UIInfo (captions, tooltips, menu and column words), plus a
// few option values and texts. Construction fills the English defaults; LoadLanguageFile
// replaces them once at start-up from TvqPlayer.ini, in the language the file maps to the
// system's default language.
//
// Threads: the process-wide table (LanguageTable()) is written only by start-up, before any
// other thread exists, and is read-only afterwards, so readers need no lock.
#include <cstdint>
#include <string>

class CLanguageTable {
public:
    static constexpr int kTitleInfoSize = 4;
    static constexpr int kDebugInfoSize = 50;
    static constexpr int kUIInfoSize = 100;
    static constexpr int kOptionCount = 50;
    // Bytes of the buffer every language-file value is read into (values are cut to 99).
    static constexpr uint32_t kValueBufferBytes = 100;
    // The section used when the file names no usable one.
    static constexpr const char* kFallbackSection = "English";
    static constexpr const char* kFileName = "TvqPlayer.ini";
    // The words of the window menu, which the system would otherwise give in its own
    // language: user-interface texts after the skin-style tooltip.
    static constexpr int kUIRestore = 69;
    static constexpr int kUIMove = 70;
    static constexpr int kUISize = 71;
    static constexpr int kUIMinimize = 72;
    static constexpr int kUIMaximize = 73;
    static constexpr int kUIClose = 74;
    // The notice over the picture when the level changes: "Volume" before the percentage,
    // and the word shown when muted.
    static constexpr int kUIVolume = 75;
    static constexpr int kUIMuted = 76;

    CLanguageTable();
    virtual ~CLanguageTable();
    CLanguageTable(const CLanguageTable&) = default;
    CLanguageTable& operator=(const CLanguageTable&) = default;

    // Reads folder + "TvqPlayer.ini" (a separator is added when the folder lacks a trailing
    // one). No file: every entry keeps its default and the language name stays empty.
    void LoadLanguageFile(const std::string& folder);
    // The section holding the strings of the system's default language: the n-th field of
    // its "LanguageMap" value (or of "default"), provided that section has a non-empty
    // TitleInfo00; "English" otherwise.
    std::string SelectLanguageSection(const std::string& filePath, int fieldIndex) const;

    // The n-th comma-separated field of text, counted from 0; with fewer fields, the last
    // one. An empty field 0 gives "English".
    static std::string ListField(const std::string& text, int n);
    // Decimal ("12", "-3", "12.7" gives 12) or hexadecimal ("0x1F") number. *success is set
    // to 1, or to 0 (result 0) when the text holds anything but digits, A-F and '.'.
    static int32_t ParseNumber(const std::string& text, int* success);

    // Entries by index; an index outside the group gives an empty string.
    const std::string& TitleInfo(int index) const;
    const std::string& DebugInfo(int index) const;
    const std::string& UIInfo(int index) const;
    // 0 for an index below 0 or above 49.
    int32_t GetOptionValue(int index) const;
    const std::string& GetOptionText(int index) const;
    // The section the strings were read from; empty until a language file has been read.
    const std::string& GetLanguageName() const { return m_languageName; }

private:
    void LoadOptions(const std::string& path, int counts[3]);
    void LoadGroup(const std::string& path, const char* keyFormat, int count, std::string* group,
                   int size);

    std::string m_titleInfo[kTitleInfoSize];
    std::string m_debugInfo[kDebugInfoSize];
    std::string m_uiInfo[kUIInfoSize];
    int32_t m_optionValue[kOptionCount] = {};
    std::string m_optionText[kOptionCount];
    std::string m_languageName;
};

// The program-wide table, built with its defaults at first use.
CLanguageTable& LanguageTable();
