#pragma once
// The about box: the program icon, the version line and a one-line notice (language-table
// user-interface strings 18 and 19), closed with its OK button.
#include <QDialog>

#include "skin/DialogSkin.h"

class CIconButton;
class CSkinLabel;
class QLabel;

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kVersionLabelId = 1050;
    static constexpr int kNoticeLabelId = 1051;
    static constexpr int kOkId = 1;

    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    CSkinLabel* VersionLabel() const { return m_version; }
    CSkinLabel* NoticeLabel() const { return m_notice; }
    CIconButton* OkButton() const { return m_ok; }

private:
    void OnInitDialog();
    void FitNotice();

    QWidget* m_client = nullptr;
    QLabel* m_icon = nullptr;
    CSkinLabel* m_version = nullptr;
    CSkinLabel* m_notice = nullptr;
    CIconButton* m_ok = nullptr;
    CDialogSkin m_skin;
};
