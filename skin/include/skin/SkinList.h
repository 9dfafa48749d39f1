#pragma once
// The skins the user can choose from, and the one in use. Filled once at start-up from the
// language file's skin entry ("(name,folder);(name,folder);..."); without usable entries it
// holds the built-in skin. The program keeps one instance from start to exit.
//
// Threads: user-interface thread only.
#include <string>
#include <vector>

struct SkinEntry {
    static constexpr size_t kFieldBytes = 260;
    char name[kFieldBytes] = {};    // shown in the skin menu
    char folder[kFieldBytes] = {};  // sub-folder of the program folder, ending in '\'
};

class CSkinList {
public:
    static constexpr const char* kBuiltInName = "XP Sytle";
    static constexpr const char* kDefaultFolder = "skin\\xpstyle\\";

    // entries: the language table's skin entry (may be empty).
    explicit CSkinList(const std::string& entries = {});

    int GetSkinCount() const { return static_cast<int>(m_skins.size()); }
    // Null when index is outside 0 .. count - 1.
    const SkinEntry* GetSkin(int index) const;
    const SkinEntry* GetCurrentSkin() const { return GetSkin(current); }
    // Inside 0 .. count - 1 the index becomes current, anything else selects 0.
    void SelectSkin(int index);
    int GetCurrent() const { return current; }

    // The current skin's sub-folder, or the default one when it has none or when it is not
    // below the program folder (absolute, or with a ".." piece).
    std::string GetSubFolder() const;

private:
    void Parse(const std::string& entries);

    std::vector<SkinEntry> m_skins;
    int current = 0;
};

// The program's skin list: created at start-up, deleted at exit.
CSkinList* CreateSkinList(const std::string& entries);
void DeleteSkinList();
// Null before CreateSkinList and after DeleteSkinList.
CSkinList* GetSkinList();
