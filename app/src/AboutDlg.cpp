#include "app/AboutDlg.h"

#include <QApplication>
#include <QLabel>
#include <QStyle>

#include "app/DialogUnits.h"
#include "skin/IconButton.h"
#include "skin/SkinLabel.h"
#include "support/LanguageTable.h"

namespace {

constexpr int kUiOk = 13;
constexpr int kUiVersion = 18;
constexpr int kUiNotice = 19;
constexpr const char* kTitle = "TVQ Player";

// Template 100.
constexpr DialogRect kTemplate{0, 0, 249, 61};
constexpr DialogRect kIconRect{11, 17, 21, 20};
constexpr DialogRect kVersionRect{40, 9, 119, 8};
constexpr DialogRect kNoticeRect{40, 24, 119, 8};
constexpr DialogRect kOkRect{186, 2, 50, 41};
constexpr int kNoticePaddingPx = 8;

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    m_client = new QWidget(this);
    const QRect box = kTemplate.ToPixels();
    resize(box.size());
    m_client->setGeometry(box);

    m_icon = new QLabel(m_client);
    m_icon->setGeometry(kIconRect.ToPixels());
    const QIcon icon = QApplication::windowIcon().isNull()
                           ? QApplication::style()->standardIcon(QStyle::SP_MediaPlay)
                           : QApplication::windowIcon();
    m_icon->setPixmap(icon.pixmap(32, 32));

    m_version = new CSkinLabel(m_client);
    m_version->setObjectName(QString::number(kVersionLabelId));
    m_version->setGeometry(kVersionRect.ToPixels());
    m_notice = new CSkinLabel(m_client);
    m_notice->setObjectName(QString::number(kNoticeLabelId));
    m_notice->setGeometry(kNoticeRect.ToPixels());

    m_ok = new CIconButton(m_client);
    m_ok->setObjectName(QString::number(kOkId));
    m_ok->setGeometry(kOkRect.ToPixels());
    connect(m_ok, &QAbstractButton::clicked, this, &QDialog::accept);
    OnInitDialog();
}

CAboutDlg::~CAboutDlg() = default;

// The notice is one line of our own. The label takes the row up to the OK button (the
// skin's background picture covers no more); a longer notice ends in an ellipsis and shows
// whole as the label's tooltip.
void CAboutDlg::FitNotice() {
    QRect row = m_notice->geometry();
    row.setRight(m_ok->geometry().left() - kNoticePaddingPx);
    m_notice->setGeometry(row);
    const QString notice = QString::fromStdString(m_notice->GetText());
    const QString shown =
        m_client->fontMetrics().elidedText(notice, Qt::ElideRight, row.width() - kNoticePaddingPx);
    if (shown == notice)
        return;
    m_notice->SetText(shown.toStdString());
    m_notice->setToolTip(notice);
}

void CAboutDlg::OnInitDialog() {
    const CLanguageTable& text = LanguageTable();
    setWindowTitle(kTitle);
    m_version->SetText(text.UIInfo(kUiVersion));
    m_notice->SetText(text.UIInfo(kUiNotice));
    FitNotice();
    m_ok->setText(QString::fromStdString(text.UIInfo(kUiOk)));
    m_skin.ApplyDialogSkin(this, m_client, {m_version, m_notice});
}
