#include "skin/SkinHeader.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>

#include "platform/Paths.h"
#include "skin/SkinList.h"
#include "support/PictureBitmap.h"

namespace {

constexpr COLORREF kLoadBackground = 0;
const QColor kHeaderTextColor(0xFF, 0xFF, 0xFF);

bool IsFarEastFamily(const QString& family) {
    const QList<QFontDatabase::WritingSystem> systems = QFontDatabase::writingSystems(family);
    for (QFontDatabase::WritingSystem ws :
         {QFontDatabase::SimplifiedChinese, QFontDatabase::TraditionalChinese,
          QFontDatabase::Japanese, QFontDatabase::Korean})
        if (systems.contains(ws) && !systems.contains(QFontDatabase::Latin))
            return true;
    return false;
}

bool HasFamily(const QString& name) {
    for (const QString& family : QFontDatabase::families())
        if (family.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

void Draw3dRect(QPainter& p, QRect r, QColor topLeft, QColor bottomRight) {
    p.setPen(topLeft);
    p.drawLine(r.left(), r.top(), r.right() - 1, r.top());
    p.drawLine(r.left(), r.top(), r.left(), r.bottom() - 1);
    p.setPen(bottomRight);
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
}

}  // namespace

CSkinHeader::CSkinHeader(QWidget* parent, const std::string& folder)
    : QHeaderView(Qt::Horizontal, parent),
      programFolder(folder.empty() ? win::ProgramFolder() : folder),
      skinFolder(CSkinList::kDefaultFolder) {
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    const QFont menuFont = QApplication::font("QMenu");
    QFont headerFont = menuFont;
    headerFont.setFamily(ChooseFace(menuFont.family(), !IsFarEastFamily(menuFont.family()),
                                    HasFamily(QStringLiteral("Tahoma"))));
    setFont(headerFont);
}

CSkinHeader::~CSkinHeader() = default;

QString CSkinHeader::ChooseFace(const QString& menuFace, bool westernCharset, bool tahomaExists) {
    if (!westernCharset)
        return menuFace;
    return tahomaExists ? QStringLiteral("Tahoma") : QStringLiteral("MS Sans Serif");
}

CSkinHeader* CSkinHeader::Install(COwnerDrawListCtrl* list, const std::string& folder) {
    if (list == nullptr)
        return nullptr;
    auto* header = new CSkinHeader(list, folder);
    list->SubclassHeader(header, header);
    return header;
}

void CSkinHeader::SetSkinFolder(const std::string& subFolder) {
    skinFolder = subFolder;
    m_listheadPath.clear();  // a skin switch reads the picture again, even from the same path
    viewport()->update();
}

int CSkinHeader::GetSortState(int column) const {
    auto it = sortState.find(column);
    return it == sortState.end() ? 0 : it->second;
}

void CSkinHeader::SetSortState(int column, bool up, bool multiColumn) {
    if (!multiColumn)
        sortState.clear();
    sortState[column] = up ? 1 : -1;
    viewport()->update();
}

std::string CSkinHeader::BitmapPath() const {
    return programFolder + win::ToNativePath(skinFolder) + kBitmapFile;
}

void CSkinHeader::paintEvent(QPaintEvent*) {
    QWidget* target = viewport();
    QPainter p(target);
    p.fillRect(target->rect(), palette().color(QPalette::Button));
    p.setFont(font());
    const int underCursor = logicalIndexAt(target->mapFromGlobal(QCursor::pos()));
    int rightEdge = 0;
    for (int visual = 0; visual < count(); ++visual) {
        const int logical = logicalIndex(visual);
        if (logical < 0 || isSectionHidden(logical))
            continue;
        const QRect r(sectionViewportPosition(logical), 0, sectionSize(logical), target->height());
        p.save();
        p.setClipRect(r);
        DrawHeaderItem(p, logical, r, pressed && logical == underCursor);
        p.restore();
        rightEdge = std::max(rightEdge, r.right() + 1);
    }
    if (rightEdge < target->width())
        DrawHeaderItem(p, -1, QRect(rightEdge, 0, target->width() - rightEdge, target->height()),
                       false);
}

void CSkinHeader::DrawSortArrow(QPainter& p, QRect r, bool up) const {
    // The arrow: a small triangle inside a 17 x 17 cell, edged in highlight and dark shadow.
    const QPalette& pal = palette();
    const int cx = r.left() + kArrowSize / 2, cy = r.top() + r.height() / 2;
    const int half = 4;
    const QPoint tip(cx, up ? cy - half : cy + half);
    const QPoint a(cx - half, up ? cy + half : cy - half), b(cx + half, up ? cy + half : cy - half);
    p.setPen(pal.color(QPalette::Shadow));
    p.drawLine(tip, a);
    p.drawLine(a, b);
    p.setPen(pal.color(QPalette::Light));
    p.drawLine(tip, b);
}

void CSkinHeader::DrawHeaderItem(QPainter& p, int index, QRect rect, bool pressedLook) {
    const QPalette& pal = palette();
    const QPixmap& bitmap = Listhead();
    if (pressedLook) {
        Draw3dRect(p, rect, pal.color(QPalette::Dark), pal.color(QPalette::Dark));
        rect.translate(1, 1);
    } else {
        Draw3dRect(p, rect, pal.color(QPalette::Light), pal.color(QPalette::Dark));
    }
    if (index < 0) {
        if (!bitmap.isNull())
            p.drawPixmap(rect.adjusted(0, 0, -1, 0), bitmap);
        return;
    }
    QRect body = rect;
    const int state = GetSortState(index);
    if (state != 0) {
        ascending = state > 0;
        body.setRight(body.right() - kArrowSize);
    }
    if (!bitmap.isNull())
        p.drawPixmap(body.adjusted(0, 0, -1, 0), bitmap);
    if (state != 0)
        DrawSortArrow(p, QRect(body.right() + 1, rect.top(), kArrowSize, rect.height()), ascending);
    QAbstractItemModel* m = model();
    if (m == nullptr)
        return;
    const QVariant decoration = m->headerData(index, orientation(), Qt::DecorationRole);
    if (decoration.canConvert<QIcon>()) {
        const QIcon icon = decoration.value<QIcon>();
        if (!icon.isNull()) {
            const int side = std::min(16, body.height());
            icon.paint(&p,
                       QRect(body.left() + 1, body.top() + (body.height() - side) / 2, side, side));
            body.setLeft(body.left() + 1 + side);
        }
    }
    const QString text = m->headerData(index, orientation(), Qt::DisplayRole).toString();
    if (text.isEmpty())
        return;
    const QRect textRect = body.adjusted(kTextInset, 0, -kTextInset, 0);
    if (textRect.width() <= 0)
        return;
    const int align = m->headerData(index, orientation(), Qt::TextAlignmentRole).toInt();
    Qt::Alignment h = Qt::AlignLeft;
    if (align & Qt::AlignHCenter)
        h = Qt::AlignHCenter;
    if (align & Qt::AlignRight)
        h = Qt::AlignRight;
    p.setPen(kHeaderTextColor);
    p.drawText(textRect, h | Qt::AlignVCenter | Qt::TextSingleLine,
               p.fontMetrics().elidedText(text, Qt::ElideRight, textRect.width()));
}

const QPixmap& CSkinHeader::Listhead() {
    const std::string path = BitmapPath();
    if (path != m_listheadPath) {
        CPictureBitmap picture;
        picture.LoadFromFile(path, kLoadBackground);
        m_listhead = picture.Pixmap();
        m_listheadPath = path;
    }
    return m_listhead;
}

void CSkinHeader::SetHotItem(int item) {
    if (item == hotItem)
        return;
    hotItem = item;
    ++m_hotChanges;
    viewport()->repaint();
}

void CSkinHeader::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() == Qt::NoButton)
        SetHotItem(logicalIndexAt(event->position().toPoint()));
    QHeaderView::mouseMoveEvent(event);
}

void CSkinHeader::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        pressed = true;
    QHeaderView::mousePressEvent(event);
}

void CSkinHeader::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        pressed = false;
    QHeaderView::mouseReleaseEvent(event);
}

bool CSkinHeader::viewportEvent(QEvent* event) {
    const bool result = QHeaderView::viewportEvent(event);
    if (event->type() == QEvent::Leave && hotItem >= 0)
        SetHotItem(-1);
    if (event->type() == QEvent::UngrabMouse)
        CancelMode();
    return result;
}

bool CSkinHeader::event(QEvent* event) {
    const bool result = QHeaderView::event(event);
    switch (event->type()) {
        case QEvent::ActivationChange:
            if (!isActiveWindow())
                CancelMode();
            break;
        case QEvent::EnabledChange:
            if (!isEnabled())
                CancelMode();
            break;
        case QEvent::WindowDeactivate:
        case QEvent::Hide:
        case QEvent::WindowBlocked:
        case QEvent::UngrabMouse:
            CancelMode();
            break;
        default:
            break;
    }
    return result;
}

void CSkinHeader::CancelMode() {
    const bool wasPressed = pressed;
    pressed = false;
    if (hotItem >= 0)
        SetHotItem(-1);
    else if (wasPressed)
        viewport()->update();
}
