#include "app/CustomFileDialog.h"

#include <QFileDialog>
#include <QFileInfo>

CCustomFileDialog::CCustomFileDialog(bool openDialog, uint32_t flags, const char* filter,
                                     const char* defaultExtension, const char* fileName,
                                     QWidget* parent)
    : m_openDialog(openDialog),
      m_flags(flags),
      m_filters(TranslateFilter(filter)),
      m_defaultExtension(defaultExtension ? defaultExtension : ""),
      m_fileName(fileName ? fileName : ""),
      m_parent(parent) {
    multiSelect = (flags & OFN_ALLOWMULTISELECT) != 0;
    if (flags & OFN_EXPLORER) {
        explorerStyle = true;
        folderPicking = (flags & OFN_ENABLEHOOK) != 0;
    } else {
        m_flags &= ~(OFN_EXPLORER | OFN_ENABLEHOOK);
    }
    const size_t limit = multiSelect ? kMultiSelectBufferChars : kSingleBufferChars;
    if (static_cast<size_t>(m_fileName.toUtf8().size()) >= limit)
        m_fileName = QString::fromUtf8(m_fileName.toUtf8().left(static_cast<int>(limit) - 1));
}

QStringList CCustomFileDialog::TranslateFilter(const char* filter) {
    QStringList out;
    const QStringList parts = QString::fromUtf8(filter ? filter : "").split('|');
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString& text = parts[i];
        const QString& patterns = parts[i + 1];
        if (text.isEmpty() && patterns.isEmpty())
            continue;
        // The file dialog takes its patterns from the parentheses that end the text.
        if (text.endsWith(')') && text.contains('('))
            out << text;
        else
            out << text + " (" + QString(patterns).replace(';', ' ') + ")";
    }
    return out;
}

bool CCustomFileDialog::FitsBuffer(const std::vector<std::string>& paths, size_t bufferChars) {
    if (paths.empty())
        return true;
    if (paths.size() == 1)
        return paths.front().size() + 1 <= bufferChars;
    size_t needed = QFileInfo(QString::fromStdString(paths.front())).path().toUtf8().size() + 1;
    for (const std::string& path : paths)
        needed += QFileInfo(QString::fromStdString(path)).fileName().toUtf8().size() + 1;
    return needed + 1 <= bufferChars;
}

int CCustomFileDialog::DoModal() {
    m_paths.clear();
    QFileDialog dialog(m_parent);
    dialog.setAcceptMode(m_openDialog ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setNameFilters(m_filters);
    if (m_flags & OFN_NODEREFERENCELINKS)
        dialog.setOption(QFileDialog::DontResolveSymlinks);
    if (!m_defaultExtension.isEmpty())
        dialog.setDefaultSuffix(m_defaultExtension);
    if (!m_fileName.isEmpty())
        dialog.selectFile(m_fileName);
    if (dialog.exec() != QDialog::Accepted)
        return IDCANCEL;

    std::vector<std::string> chosen;
    for (const QString& file : dialog.selectedFiles()) chosen.push_back(file.toStdString());
    if (!FitsBuffer(chosen, multiSelect ? kMultiSelectBufferChars : kSingleBufferChars))
        return IDCANCEL;
    m_paths = std::move(chosen);
    return IDOK;
}
