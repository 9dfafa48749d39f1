#include "skin/SkinList.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// Copies text into a record field; longer texts are cut so the field stays terminated.
void CopyField(char (&field)[SkinEntry::kFieldBytes], const std::string& text) {
    const size_t length = std::min(text.size(), SkinEntry::kFieldBytes - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

// A folder below the program folder: relative, and no piece of it climbs out with "..". The
// names come from files a user may have been handed, and the skin's files are read from there.
bool StaysInsideProgramFolder(const std::string& folder) {
    if (folder.empty() || folder.front() == '/' || folder.front() == '\\')
        return false;
    size_t start = 0;
    while (start <= folder.size()) {
        const size_t end = std::min(folder.find_first_of("/\\", start), folder.size());
        if (folder.compare(start, end - start, "..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

std::unique_ptr<CSkinList>& Instance() {
    static std::unique_ptr<CSkinList> list;
    return list;
}

}  // namespace

CSkinList::CSkinList(const std::string& entries) {
    Parse(entries);
    if (m_skins.empty()) {
        SkinEntry builtIn;
        CopyField(builtIn.name, kBuiltInName);
        CopyField(builtIn.folder, kDefaultFolder);
        m_skins.push_back(builtIn);
    }
}

void CSkinList::Parse(const std::string& entries) {
    // Only pieces closed by ';' count: the text after the last ';' is not an entry.
    size_t start = 0;
    for (size_t end = entries.find(';'); end != std::string::npos;
         start = end + 1, end = entries.find(';', start)) {
        const std::string entry = Trim(entries.substr(start, end - start));
        if (entry.size() < 2 || entry.front() != '(' || entry.back() != ')')
            continue;
        const std::string inside = entry.substr(1, entry.size() - 2);
        SkinEntry record;
        const size_t comma = inside.find(',');
        if (comma == std::string::npos) {
            CopyField(record.name, Trim(inside));
        } else {
            CopyField(record.name, Trim(inside.substr(0, comma)));
            CopyField(record.folder, Trim(inside.substr(comma + 1)));
        }
        m_skins.push_back(record);
    }
}

const SkinEntry* CSkinList::GetSkin(int index) const {
    if (index < 0 || index >= GetSkinCount())
        return nullptr;
    return &m_skins[static_cast<size_t>(index)];
}

void CSkinList::SelectSkin(int index) {
    current = (index >= 0 && index < GetSkinCount()) ? index : 0;
}

std::string CSkinList::GetSubFolder() const {
    const SkinEntry* skin = GetCurrentSkin();
    if (skin != nullptr && StaysInsideProgramFolder(skin->folder))
        return skin->folder;
    return kDefaultFolder;
}

CSkinList* CreateSkinList(const std::string& entries) {
    Instance() = std::make_unique<CSkinList>(entries);
    return Instance().get();
}

void DeleteSkinList() {
    Instance().reset();
}

CSkinList* GetSkinList() {
    return Instance().get();
}
