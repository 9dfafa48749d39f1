#pragma once
// The open dialog with which the user adds movies: a file dialog for one or several files
// with a large name buffer. Filters are written as Windows spells them ("text|pattern|...").
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

class QWidget;

class CCustomFileDialog {
public:
    // OPENFILENAME flags the player passes.
    static constexpr uint32_t OFN_OVERWRITEPROMPT = 0x2;
    static constexpr uint32_t OFN_HIDEREADONLY = 0x4;
    static constexpr uint32_t OFN_ALLOWMULTISELECT = 0x200;
    static constexpr uint32_t OFN_ENABLEHOOK = 0x20;
    static constexpr uint32_t OFN_EXPLORER = 0x80000;
    static constexpr uint32_t OFN_NODEREFERENCELINKS = 0x100000;
    // Characters of the name buffer with multiple selection, and without.
    static constexpr size_t kMultiSelectBufferChars = 10000;
    static constexpr size_t kSingleBufferChars = 260;
    static constexpr int IDOK = 1;
    static constexpr int IDCANCEL = 2;

    CCustomFileDialog(bool openDialog, uint32_t flags, const char* filter,
                      const char* defaultExtension, const char* fileName, QWidget* parent);

    // IDOK with the chosen names, IDCANCEL when cancelled or when the names do not fit.
    int DoModal();
    // GetStartPosition / GetNextPathName: the chosen paths, in the dialog's order.
    const std::vector<std::string>& GetPathNames() const { return m_paths; }

    // "tvq file(*.tvq)|*.tvq|" -> the file dialog's name filters ("tvq file(*.tvq)").
    static QStringList TranslateFilter(const char* filter);
    // Whether the paths fit into the name buffer the way Windows packs several of them
    // (folder, each name, zero after each, one more zero).
    static bool FitsBuffer(const std::vector<std::string>& paths, size_t bufferChars);

    bool IsExplorerStyle() const { return explorerStyle; }
    bool IsMultiSelect() const { return multiSelect; }

private:
    bool m_openDialog;
    uint32_t m_flags;
    QStringList m_filters;
    QString m_defaultExtension;
    QString m_fileName;
    QWidget* m_parent;
    std::vector<std::string> m_paths;
    bool explorerStyle = false;
    bool multiSelect = false;
    // Folder selection with a hook: never switched on by the player.
    bool folderPicking = false;
};
