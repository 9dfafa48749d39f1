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
    // The notice is longer than the template's label; it gets the rest of the row.
    QRect notice = kNoticeRect.ToPixels();
    notice.setRight(kOkRect.ToPixels().left() - 4);
    notice.setHeight(notice.height() * 3);
    m_notice->setGeometry(notice);

    m_ok = new CIconButton(m_client);
    m_ok->setObjectName(QString::number(kOkId));
    m_ok->setGeometry(kOkRect.ToPixels());
    connect(m_ok, &QAbstractButton::clicked, this, &QDialog::accept);
    OnInitDialog();
}

CAboutDlg::~CAboutDlg() = default;

void CAboutDlg::OnInitDialog() {
    const CLanguageTable& text = LanguageTable();
    setWindowTitle(kTitle);
    m_version->SetText(text.UIInfo(kUiVersion));
    m_notice->SetText(text.UIInfo(kUiNotice));
    m_ok->setText(QString::fromStdString(text.UIInfo(kUiOk)));
    m_skin.ApplyDialogSkin(this, m_client, {m_version, m_notice});
}
