#include "support/LanguageTable.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "platform/Version.h"

namespace {

constexpr const char* kTitleDefaults[] = {"Error", "Warning", "Information", "Success"};

constexpr const char* kDebugDefaults[] = {
    "Can not init COM!",
    "Can not open file %s!",
    "No this type CODEC, can not create %s!",
    "Not found file %s!",
    "No this type CODEC, load multimedia file %s failed!",
    "No this type CODEC, connect %s and %s failed!",
    "No this type CODEC, add %s failed!",
    "Set media type failed!",
    "Buffer media data failed!",
    "Allocate memory failed!",
    "Can not play multimedia file!",
    "Filter can not run!",
    "Compress audio file failed!",
    "Convert completed!",
    "The start time of snippet is invalid, the total time of source video is %d seconds!",
    "The end time of snippet is invalid, the total time of source video is %d seconds!",
    "Can not find help file %s!",
    "Can not find file hh.exe!",
    "Souce video file is used, or no valid CODEC, play movie failed!",
    "The type of user audio file isn't right",
    "Failed to create %s",
    "Failed to initialize",
    "Failed to convert,try other codec?",
    "The file exists,overwrite the file?",
    "Please close after finishing playing",
    "Continue to convert?",
    "Please install codec for %s",
};

// The property box labels are padded to one width so their values line up.
constexpr char kUIFramesLabel[] = "Vedio frames per second:   ";
constexpr char kUISampleRateLabel[] = "Audio sample rate:         ";
constexpr char kUIVideoSizeLabel[] = "Video size:                ";
constexpr char kUIMovieTimeLabel[] = "Movie time:                ";
static_assert(sizeof kUIFramesLabel == 28 && sizeof kUISampleRateLabel == 28 &&
              sizeof kUIVideoSizeLabel == 28 && sizeof kUIMovieTimeLabel == 28);

// Entries 0 to 76; 67 (the skin list) has no default and comes only from a language file.
constexpr const char* kUIDefaults[] = {
    "TVQ Player",
    "Select source media file",
    "Substitute new audio for old audio",
    "Select audio file",
    "Select TVQ file path",
    "Setting",
    "Begin",
    "Exit",
    "Property setting",
    "Select temp file directory",
    "Select screen width and height",  // 10
    "audio max resample rate",
    "Frames per second",
    "OK",
    "Help",
    "Cut source video snippet",
    "Start time",
    "End time",
    "TVQ Player V" TVQ_VERSION_TEXT,  // NOLINT(bugprone-suspicious-missing-comma): one entry
    "A player for .tvq movies. Free software.",
    "Play",  // 20
    "Stop",
    "Select the folder for tvq file",
    "Bitmap 16-bpp format",
    "About TVQ Player",
    "Add file",
    "Select",
    "File name",
    "The new audio file for substituting old",
    "Status",
    "Delete",  // 30
    "Unselect",
    "Now converting %s file...",
    "Converting",
    "Overwrite file",
    "Detail",
    "Message",
    "Unconvert",
    "About",
    "Playing",
    "Amplify",  // 40
    "Reduce",
    "Equal",
    "Try other codec",
    "Insert wave for not enough wave",
    "Insert picture for none picture",
    "Pause",
    "Previous",
    "Next",
    "Time",
    "Repeat",  // 50
    "Full screen",
    "Forward",
    "Display",
    "Property",
    kUIFramesLabel,
    kUISampleRateLabel,
    kUIVideoSizeLabel,
    kUIMovieTimeLabel,
    "Movie property",
    "Adjust",  // 60
    "Normal",
    "UpDown",
    "LeftRight",
    "UpDown-LeftRight",
    "90 Degree Circle",
    "270 Degree Circle",
    "",
    "Skin style",
    "&Restore",  // the window menu, as the system names its items
    "&Move",     // 70
    "&Size",
    "Mi&nimize",
    "Ma&ximize",
    "&Close",
    "Volume",  // the level notice over the picture
    "Muted",
};
static_assert(std::size(kTitleDefaults) == CLanguageTable::kTitleInfoSize);
static_assert(std::size(kDebugDefaults) == 27);
static_assert(std::size(kUIDefaults) == CLanguageTable::kUIMuted + 1);

// Option slots the language file can set.
constexpr int kOptionVideoWH = 0;
constexpr int kOptionVideoFrame = 1;
constexpr int32_t kDisplayOptionDefault = 3;  // both display options above
constexpr int kOptionUserFrameRate = 3;
constexpr int kOptionFileExtension = 2;

const std::string kEmpty;

const std::string& Entry(const std::string* group, int size, int index) {
    return index >= 0 && index < size ? group[index] : kEmpty;
}

// A value of the language file, read with an empty default into the fixed-size buffer.
std::string ReadValue(const char* section, const char* key, const std::string& path) {
    char buffer[CLanguageTable::kValueBufferBytes];
    win::GetPrivateProfileString(section, key, "", buffer, sizeof buffer, path);
    return buffer;
}

// The "LanguageMap" key of a language id: Chinese variants share two keys, every other
// language is keyed by its primary language byte.
std::string LanguageMapKey(uint16_t langId) {
    if (langId == 0x0804)
        return "804";
    if (langId == 0x0404 || langId == 0x0C04 || langId == 0x1004)
        return "404";
    char key[8];
    std::snprintf(key, sizeof key, "4%02x", langId & 0xFF);
    return key;
}

std::string TrimUpper(const std::string& text) {
    const auto isBlank = [](unsigned char c) { return std::isspace(c) != 0; };
    auto first = std::find_if_not(text.begin(), text.end(), isBlank);
    auto last = std::find_if_not(text.rbegin(), text.rend(), isBlank).base();
    std::string out = first < last ? std::string(first, last) : std::string();
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool IsNumberChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == '.';
}

}  // namespace

CLanguageTable::CLanguageTable() {
    std::copy(std::begin(kTitleDefaults), std::end(kTitleDefaults), m_titleInfo);
    std::copy(std::begin(kDebugDefaults), std::end(kDebugDefaults), m_debugInfo);
    std::copy(std::begin(kUIDefaults), std::end(kUIDefaults), m_uiInfo);
    m_optionValue[kOptionVideoWH] = kDisplayOptionDefault;
    m_optionValue[kOptionVideoFrame] = kDisplayOptionDefault;
    m_optionText[kOptionFileExtension] = "tvq";
}

CLanguageTable::~CLanguageTable() = default;

const std::string& CLanguageTable::TitleInfo(int index) const {
    return Entry(m_titleInfo, kTitleInfoSize, index);
}

const std::string& CLanguageTable::DebugInfo(int index) const {
    return Entry(m_debugInfo, kDebugInfoSize, index);
}

const std::string& CLanguageTable::UIInfo(int index) const {
    return Entry(m_uiInfo, kUIInfoSize, index);
}

int32_t CLanguageTable::GetOptionValue(int index) const {
    return index >= 0 && index < kOptionCount ? m_optionValue[index] : 0;
}

const std::string& CLanguageTable::GetOptionText(int index) const {
    return Entry(m_optionText, kOptionCount, index);
}

std::string CLanguageTable::ListField(const std::string& text, int n) {
    size_t start = 0;
    size_t end = text.size();
    int commasPassed = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != ',')
            continue;
        if (commasPassed < n) {
            start = i + 1;
            ++commasPassed;
        } else {
            end = i;
            break;
        }
    }
    std::string field = text.substr(start, end - start);
    if (field.empty() && n == 0)
        return kFallbackSection;
    return field;
}

int32_t CLanguageTable::ParseNumber(const std::string& text, int* success) {
    if (success)
        *success = 0;
    std::string number = TrimUpper(text);
    bool negative = false;
    if (!number.empty() && (number[0] == '-' || number[0] == '+')) {
        negative = number[0] == '-';
        number.erase(0, 1);
    }
    const size_t hexMark = number.find("0X");
    const bool hex = hexMark != std::string::npos;
    const size_t checkFrom = hex ? hexMark + 2 : 0;
    if (!std::all_of(number.begin() + static_cast<long>(checkFrom), number.end(), IsNumberChar))
        return 0;

    // Converted like sscanf's %x and %ld: the leading number, 0 when there is none. Values
    // beyond 32 bits are not meaningful in a language file; they are kept from overflowing.
    uint32_t value = 0;
    if (hex) {
        // %x stores the number modulo 2^32 (so 0xFFFFFFFF reads as -1).
        const long long v = std::strtoll(number.c_str(), nullptr, 16);
        value = static_cast<uint32_t>(std::clamp<long long>(v, -INT64_C(0xFFFFFFFF), 0xFFFFFFFF));
    } else {
        const long long v = std::strtoll(number.c_str(), nullptr, 10);
        value = static_cast<uint32_t>(std::clamp<long long>(v, 0, INT32_MAX));
    }
    if (negative)
        value = 0u - value;
    if (success)
        *success = 1;
    return static_cast<int32_t>(value);
}

std::string CLanguageTable::SelectLanguageSection(const std::string& filePath,
                                                  int fieldIndex) const {
    const std::string key = LanguageMapKey(win::GetSystemDefaultLangID());
    std::string map = ReadValue("LanguageMap", key.c_str(), filePath);
    if (map.empty()) {
        map = ReadValue("LanguageMap", "default", filePath);
        if (map.empty())
            return kFallbackSection;
    }
    std::string candidate = ListField(map, fieldIndex);
    if (ReadValue(candidate.c_str(), "TitleInfo00", filePath).empty())
        return kFallbackSection;
    return candidate;
}

void CLanguageTable::LoadOptions(const std::string& path, int counts[3]) {
    int ok = 0;
    counts[0] = ParseNumber(ReadValue("Option", "TitleInfoCount", path), &ok);
    counts[1] = ParseNumber(ReadValue("Option", "DebugInfoCount", path), &ok);
    counts[2] = ParseNumber(ReadValue("Option", "UIInfoCount", path), &ok);

    const int32_t videoWH = ParseNumber(ReadValue("Option", "VIDEOWH", path), &ok);
    m_optionValue[kOptionVideoWH] = videoWH >= 0 && videoWH <= 2 ? videoWH : 3;
    const int32_t videoFrame = ParseNumber(ReadValue("Option", "VIDEOFRAME", path), &ok);
    m_optionValue[kOptionVideoFrame] = videoFrame >= 0 && videoFrame <= 3 ? videoFrame : 4;

    const std::string userRate = ReadValue("Option", "USERF", path);
    m_optionValue[kOptionUserFrameRate] = userRate.empty() ? 0 : ParseNumber(userRate, &ok);

    const std::string extension = ReadValue("Option", "MTVFILEEXTEND", path);
    if (!extension.empty())
        m_optionText[kOptionFileExtension] = extension;
}

// Every entry below the count is assigned, so a missing key empties its entry; the count
// is bounded by the group's size whatever the file claims.
void CLanguageTable::LoadGroup(const std::string& path, const char* keyFormat, int count,
                               std::string* group, int size) {
    const int last = std::min(count, size);
    for (int i = 0; i < last; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, keyFormat, i);
        group[i] = ReadValue(m_languageName.c_str(), key, path);
    }
}

void CLanguageTable::LoadLanguageFile(const std::string& folder) {
    std::string path = folder;
    if (path.empty() || (path.back() != '/' && path.back() != '\\'))
        path += '/';
    path = win::ToNativePath(path + kFileName);
    if (!win::FileExists(path))
        return;

    int counts[3] = {};
    LoadOptions(path, counts);
    m_languageName = SelectLanguageSection(path, 0);
    LoadGroup(path, "TitleInfo%02d", counts[0], m_titleInfo, kTitleInfoSize);
    LoadGroup(path, "DebugInfo%02d", counts[1], m_debugInfo, kDebugInfoSize);
    LoadGroup(path, "UIInfo%02d", counts[2], m_uiInfo, kUIInfoSize);
}

CLanguageTable& LanguageTable() {
    static CLanguageTable table;
    return table;
}
