// The language file: an arbitrary TvqPlayer.ini loaded the way start-up loads it, under a few
// system languages. Every entry stays within the value buffer, the options stay in their
// ranges, and the number and list helpers keep their promises on the same bytes.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <iterator>
#include <string>

#include "FuzzSupport.h"
#include "support/LanguageTable.h"

namespace {

// English, Simplified and Traditional Chinese, Japanese, German.
constexpr const char* kLanguageIds[] = {"0x0409", "0x0804", "0x0404", "0x0411", "0x0407"};

void CheckGroup(const CLanguageTable& table, const std::string& (CLanguageTable::*entry)(int) const,
                int size) {
    for (int i = -1; i <= size; ++i) {
        const std::string& text = (table.*entry)(i);
        fuzz::Check(text.size() < CLanguageTable::kValueBufferBytes,
                    "an entry fits the value buffer");
        fuzz::Check(i >= 0 && i < size ? true : text.empty(), "outside a group is empty");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const std::string folder = fuzz::Folder();
    setenv("TVQ_LANGID", kLanguageIds[data[0] % std::size(kLanguageIds)], 1);
    // A fresh folder name per input keeps the profile reader from serving the last file.
    static unsigned serial = 0;
    const std::string languageFolder = folder + "/lang-" + std::to_string(++serial);
    fuzz::Check(::mkdir(languageFolder.c_str(), 0700) == 0, "a language folder can be made");
    const std::string file = languageFolder + "/" + CLanguageTable::kFileName;
    fuzz::WriteFile(file, data + 1, size - 1);

    CLanguageTable table;
    table.LoadLanguageFile(languageFolder);
    CheckGroup(table, &CLanguageTable::TitleInfo, CLanguageTable::kTitleInfoSize);
    CheckGroup(table, &CLanguageTable::DebugInfo, CLanguageTable::kDebugInfoSize);
    CheckGroup(table, &CLanguageTable::UIInfo, CLanguageTable::kUIInfoSize);
    fuzz::Check(!table.GetLanguageName().empty(), "a file always names a section");
    fuzz::Check(table.GetOptionValue(0) >= 0 && table.GetOptionValue(0) <= 3,
                "the picture-size option stays in 0..3");
    fuzz::Check(table.GetOptionValue(1) >= 0 && table.GetOptionValue(1) <= 4,
                "the frame option stays in 0..4");
    fuzz::Check(table.GetOptionValue(-1) == 0 && table.GetOptionValue(50) == 0,
                "options outside the table are 0");
    fuzz::Check(table.GetOptionText(2).size() < CLanguageTable::kValueBufferBytes,
                "the extension fits the value buffer");
    std::remove(file.c_str());
    ::rmdir(languageFolder.c_str());

    // The same bytes as one value.
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    int success = -1;
    const int32_t number = CLanguageTable::ParseNumber(text, &success);
    fuzz::Check(success == 0 || success == 1, "success is a flag");
    fuzz::Check(success == 1 || number == 0, "a refused number is 0");
    for (int n = 0; n < 4; ++n) {
        const std::string field = CLanguageTable::ListField(text, n);
        fuzz::Check(field.find(',') == std::string::npos, "a field holds no comma");
        fuzz::Check(
            field == CLanguageTable::kFallbackSection || text.find(field) != std::string::npos,
            "a field is part of the list");
    }
    return 0;
}
