#include "support/OwnerDrawListCtrl.h"

#include <QApplication>
#include <QDrag>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>
#include <cstdlib>

namespace {

COLORREF FromQColor(const QColor& c) {
    return MakeColorRef(c.red(), c.green(), c.blue());
}
QColor ToQColor(COLORREF c) {
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

constexpr int kFormatRole = Qt::UserRole + 1;  // header data: the column's LVCFMT_*
constexpr int kItemDataRole = Qt::UserRole + 2;

Qt::Alignment AlignmentOf(int format) {
    if (format == COwnerDrawListCtrl::LVCFMT_CENTER)
        return Qt::AlignHCenter;
    if (format == COwnerDrawListCtrl::LVCFMT_RIGHT)
        return Qt::AlignRight;
    return Qt::AlignLeft;
}

// Extra pixels of the column-0 highlight box without full-row selection.
constexpr int kHighlightPad = 8;
constexpr int kHighlightPadCentred = 12;

}  // namespace

struct COwnerDrawListCtrl::RowState {
    bool hasFocus = false;
    bool selectedFocused = false;
    bool selectedDim = false;
    bool focusFrame = false;
    bool fullRow = false;
    bool hasSelectionBrush = false;
    QColor selectionBrush;
    QColor selectionText;
    QColor cellBackground;
    mutable QRect frame;  // the focus frame, found while the cells are drawn
};

// Paints one cell the way the row drawing does; used by the view for anything it paints
// outside drawRow (drag pixmaps and the like).
class COwnerDrawListCtrl::CellDelegate : public QStyledItemDelegate {
public:
    explicit CellDelegate(COwnerDrawListCtrl* list) : QStyledItemDelegate(list), m_list(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const RowState state = m_list->StateOfRow(index.row());
        const bool first = m_list->header()->visualIndex(index.column()) == 0;
        m_list->DrawCell(painter, state, index.row(), index.column(), option.rect, first);
    }

private:
    COwnerDrawListCtrl* m_list;
};

COwnerDrawListCtrl::COwnerDrawListCtrl(QWidget* parent) : QTreeView(parent) {
    std::fill(std::begin(m_sortColumns), std::end(m_sortColumns), -1);
    setModel(&m_model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    m_delegate = new CellDelegate(this);
    setItemDelegate(m_delegate);
    // The playlist's header sends no clicks; a list that wants header sorting turns them on.
    header()->setSectionsClickable(false);
    m_bkColor = FromQColor(palette().color(QPalette::Base));
    ComputeShadeColor();
}

COwnerDrawListCtrl::~COwnerDrawListCtrl() {
    // The view's header and delegate are its children; the model is a member and must
    // outlive the view's use of it.
    setModel(nullptr);
}

// ---- columns and rows ------------------------------------------------------------------

int COwnerDrawListCtrl::InsertColumn(int index, const std::string& title, int format, int width) {
    index = std::clamp(index, 0, m_model.columnCount());
    if (index == 0)
        m_column0Format = format;
    if (!m_model.insertColumn(index))
        return -1;
    m_model.setHeaderData(index, Qt::Horizontal, QString::fromStdString(title), Qt::DisplayRole);
    m_model.setHeaderData(index, Qt::Horizontal, format, kFormatRole);
    m_model.setHeaderData(index, Qt::Horizontal, int(AlignmentOf(format) | Qt::AlignVCenter),
                          Qt::TextAlignmentRole);
    setColumnWidth(index, width);
    return index;
}

int COwnerDrawListCtrl::GetColumnCount() const {
    return m_model.columnCount();
}

int COwnerDrawListCtrl::GetColumnFormat(int column) const {
    return m_model.headerData(column, Qt::Horizontal, kFormatRole).toInt();
}

int COwnerDrawListCtrl::InsertItem(int row, const std::string& text) {
    row = std::clamp(row, 0, m_model.rowCount());
    QList<QStandardItem*> items;
    const int columns = std::max(1, m_model.columnCount());
    for (int c = 0; c < columns; ++c) {
        auto* item = new QStandardItem(c == 0 ? QString::fromStdString(text) : QString());
        item->setEditable(false);
        items.append(item);
    }
    m_model.insertRow(row, items);
    return row;
}

bool COwnerDrawListCtrl::SetItemText(int row, int column, const std::string& text) {
    if (row < 0 || row >= m_model.rowCount() || column < 0 || column >= m_model.columnCount())
        return false;
    QStandardItem* item = m_model.item(row, column);
    if (item == nullptr) {
        item = new QStandardItem;
        item->setEditable(false);
        m_model.setItem(row, column, item);
    }
    item->setText(QString::fromStdString(text));
    return true;
}

std::string COwnerDrawListCtrl::GetItemText(int row, int column) const {
    const QStandardItem* item = m_model.item(row, column);
    return item != nullptr ? item->text().toStdString() : std::string();
}

int COwnerDrawListCtrl::GetItemCount() const {
    return m_model.rowCount();
}

bool COwnerDrawListCtrl::DeleteItem(int row) {
    if (row < 0 || row >= m_model.rowCount())
        return false;
    return m_model.removeRow(row);
}

void COwnerDrawListCtrl::DeleteAllItems() {
    m_model.removeRows(0, m_model.rowCount());
}

void COwnerDrawListCtrl::SetItemData(int row, intptr_t data) {
    if (QStandardItem* item = m_model.item(row, 0))
        item->setData(QVariant::fromValue<qlonglong>(data), kItemDataRole);
}

intptr_t COwnerDrawListCtrl::GetItemData(int row) const {
    const QStandardItem* item = m_model.item(row, 0);
    return item != nullptr ? static_cast<intptr_t>(item->data(kItemDataRole).toLongLong()) : 0;
}

void COwnerDrawListCtrl::SetCheck(int row, bool checked) {
    if (QStandardItem* item = m_model.item(row, 0))
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

bool COwnerDrawListCtrl::GetCheck(int row) const {
    const QStandardItem* item = m_model.item(row, 0);
    return item != nullptr && item->checkState() == Qt::Checked;
}

QRect COwnerDrawListCtrl::CheckBoxRect(QRect cell) const {
    return QRect(cell.left() + (kCheckBoxSlot - kCheckBoxSize) / 2,
                 cell.top() + (cell.height() - kCheckBoxSize) / 2, kCheckBoxSize, kCheckBoxSize);
}

// ---- selection -------------------------------------------------------------------------

bool COwnerDrawListCtrl::IsSelected(int row) const {
    return selectionModel() != nullptr && selectionModel()->isRowSelected(row, QModelIndex());
}

void COwnerDrawListCtrl::SetSelected(int row, bool selected) {
    if (row < 0 || row >= m_model.rowCount())
        return;
    selectionModel()->select(m_model.index(row, 0), (selected ? QItemSelectionModel::Select
                                                              : QItemSelectionModel::Deselect) |
                                                        QItemSelectionModel::Rows);
    if (selected)
        selectionModel()->setCurrentIndex(m_model.index(row, 0), QItemSelectionModel::NoUpdate);
}

void COwnerDrawListCtrl::ClearSelection() {
    selectionModel()->clearSelection();
}

std::vector<int> COwnerDrawListCtrl::GetSelectedRows() const {
    std::vector<int> rows;
    for (int r = 0; r < m_model.rowCount(); ++r)
        if (IsSelected(r))
            rows.push_back(r);
    return rows;
}

int COwnerDrawListCtrl::GetFocusedRow() const {
    return currentIndex().isValid() ? currentIndex().row() : -1;
}

void COwnerDrawListCtrl::EnsureVisible(int row) {
    if (row >= 0 && row < m_model.rowCount())
        scrollTo(m_model.index(row, 0));
}

// ---- styles and colours ----------------------------------------------------------------

void COwnerDrawListCtrl::SetExtendedStyle(uint32_t style) {
    m_extendedStyle = style;
    viewport()->update();
}

void COwnerDrawListCtrl::SetShowSelAlways(bool on) {
    m_showSelAlways = on;
    viewport()->update();
}

void COwnerDrawListCtrl::SetBkColor(COLORREF color) {
    m_bkColor = color;
    QPalette pal = palette();
    pal.setColor(QPalette::Base, ToQColor(color));
    setPalette(pal);
    ComputeShadeColor();
    viewport()->update();
}

void COwnerDrawListCtrl::ComputeShadeColor() {
    auto shade = [](int component) { return std::min(255, component * kShadePercent / 100); };
    m_shadeColor = MakeColorRef(shade(GetRValue(m_bkColor)), shade(GetGValue(m_bkColor)),
                                shade(GetBValue(m_bkColor)));
}

QRect COwnerDrawListCtrl::RowRect(int row) const {
    if (row < 0 || row >= m_model.rowCount())
        return {};
    const QRect cell = visualRect(m_model.index(row, 0));
    return QRect(0, cell.top(), viewport()->width(), cell.height());
}

void COwnerDrawListCtrl::SetCurrentRow(int row) {
    const int old = m_currentRow;
    if (old >= 0 && old < m_model.rowCount() && old != row)
        viewport()->update(RowRect(old));
    m_currentRow = row;
    viewport()->update(RowRect(row));
}

void COwnerDrawListCtrl::SetCurrentRowColor(COLORREF color) {
    m_currentRowColor = color;
    viewport()->update();
}

COLORREF COwnerDrawListCtrl::GetCellTextColor(int, int) const {
    return FromQColor(palette().color(QPalette::Text));
}

COLORREF COwnerDrawListCtrl::GetCellBkColor(int, int) const {
    return m_bkColor;
}

// ---- header ----------------------------------------------------------------------------

void COwnerDrawListCtrl::SubclassHeader(QHeaderView* newHeader, ISortHeader* link) {
    if (newHeader == nullptr)
        return;
    newHeader->setSectionsClickable(header()->sectionsClickable());
    setHeader(newHeader);  // the view takes the header over and deletes the old one
    m_sortHeader = link;
    connect(newHeader, &QHeaderView::sectionClicked, this, [this](int column) {
        OnHeaderClick(column, QApplication::keyboardModifiers() & Qt::ControlModifier);
    });
    if (m_sortHeader != nullptr && !m_headerBitmap.empty())
        m_sortHeader->SetSkinFolder(m_headerBitmap);
}

void COwnerDrawListCtrl::SetHeaderBitmap(const std::string& subFolder) {
    m_headerBitmap = subFolder;
    if (m_sortHeader != nullptr)
        m_sortHeader->SetSkinFolder(subFolder);
}

// ---- drawing ---------------------------------------------------------------------------

std::string COwnerDrawListCtrl::FitText(const std::string& text, int width,
                                        const QFontMetrics& metrics) {
    const QString full = QString::fromStdString(text);
    if (full.isEmpty() || metrics.horizontalAdvance(full) <= width)
        return text;
    const int dots3 = metrics.horizontalAdvance(QStringLiteral("..."));
    for (qsizetype n = full.size() - 1; n >= 1; --n) {
        if (metrics.horizontalAdvance(full.left(n)) + dots3 <= width)
            return (full.left(n) + QStringLiteral("...")).toStdString();
    }
    // Not even one character and "...": the first character with what still fits.
    const QString first = full.left(1);
    const int firstWidth = metrics.horizontalAdvance(first);
    if (firstWidth + metrics.horizontalAdvance(QStringLiteral("..")) <= width)
        return (first + QStringLiteral("..")).toStdString();
    if (firstWidth + metrics.horizontalAdvance(QStringLiteral(".")) <= width)
        return (first + QStringLiteral(".")).toStdString();
    return first.toStdString();
}

COwnerDrawListCtrl::RowState COwnerDrawListCtrl::StateOfRow(int row) const {
    RowState s;
    const QPalette& pal = palette();
    s.hasFocus = hasFocus();
    const bool selected = IsSelected(row);
    s.selectedFocused = selected && s.hasFocus;
    s.selectedDim = selected && m_showSelAlways;
    s.focusFrame = GetFocusedRow() == row && s.hasFocus;
    s.fullRow = (m_extendedStyle & LVS_EX_FULLROWSELECT) != 0;
    if (s.selectedFocused) {
        s.hasSelectionBrush = true;
        s.selectionBrush = pal.color(QPalette::Active, QPalette::Highlight);
        s.selectionText = pal.color(QPalette::Active, QPalette::HighlightedText);
    } else if (s.selectedDim) {
        s.hasSelectionBrush = true;
        s.selectionBrush = pal.color(QPalette::Button);
        s.selectionText = pal.color(QPalette::WindowText);
    }
    s.cellBackground = ToQColor(m_bkColor);
    return s;
}

void COwnerDrawListCtrl::DrawCellText(QPainter* painter, const std::string& text, QRect rect,
                                      int format, bool currentRow, QColor color) const {
    if (text.empty() || rect.width() <= 0)
        return;
    painter->setPen(currentRow ? ToQColor(m_currentRowColor) : color);
    painter->drawText(rect, AlignmentOf(format) | Qt::AlignVCenter | Qt::TextSingleLine,
                      QString::fromStdString(text));
}

void COwnerDrawListCtrl::DrawCell(QPainter* painter, const RowState& s, int row, int column,
                                  QRect cell, bool firstDisplayed) const {
    const int format = column == 0 ? m_column0Format : GetColumnFormat(column);
    // No image lists are filled: only the check box (the state image) comes before the label.
    const bool checkBoxes = column == 0 && (m_extendedStyle & LVS_EX_CHECKBOXES) != 0;
    const QRect label = checkBoxes ? cell.adjusted(kCheckBoxSlot, 0, 0, 0) : cell;
    const QRect textRect =
        firstDisplayed
            ? label.adjusted(kLabelInset, 0, -(column == 0 ? kLabelInset : kCellInset), 0)
            : cell.adjusted(kCellInset, 0, -kCellInset, 0);
    const QFontMetrics metrics = painter->fontMetrics();
    const std::string text = FitText(GetItemText(row, column), textRect.width(), metrics);
    // Column 0's highlight box is also where a focused row shows its focus frame, selected
    // or not.
    QRect box;
    if (column == 0 && !s.fullRow) {
        const int textWidth = metrics.horizontalAdvance(QString::fromStdString(text));
        const int boxWidth = std::min(
            label.width(),
            textWidth + (m_column0Format == LVCFMT_CENTER ? kHighlightPadCentred : kHighlightPad));
        int left = label.left();
        if (m_column0Format == LVCFMT_RIGHT)
            left = label.right() + 1 - boxWidth;
        if (m_column0Format == LVCFMT_CENTER)
            left = label.left() + (label.width() - boxWidth) / 2;
        box = QRect(left, cell.top(), boxWidth, cell.height());
        s.frame = box;
    } else if (s.fullRow && s.frame.isNull()) {
        s.frame = RowRect(row);
    }
    bool highlighted = false;
    if (s.hasSelectionBrush && s.fullRow) {
        painter->fillRect(cell, s.selectionBrush);
        highlighted = true;
    } else if (s.hasSelectionBrush && column == 0) {
        painter->fillRect(cell, s.cellBackground);
        painter->fillRect(box, s.selectionBrush);
        highlighted = true;
    } else {
        painter->fillRect(cell, s.cellBackground);
    }
    if (checkBoxes) {
        QStyleOptionButton box;
        box.rect = CheckBoxRect(cell);
        box.state = QStyle::State_Enabled | (GetCheck(row) ? QStyle::State_On : QStyle::State_Off);
        style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, this);
    }
    const QColor textColor = highlighted ? s.selectionText : palette().color(QPalette::WindowText);
    DrawCellText(painter, text, textRect, format, row == m_currentRow, textColor);
}

void COwnerDrawListCtrl::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    const int row = index.row();
    const RowState s = StateOfRow(row);
    painter->save();
    painter->setFont(font());
    QHeaderView* h = header();
    bool first = true;
    for (int visual = 0; visual < h->count(); ++visual) {
        const int column = h->logicalIndex(visual);
        if (column < 0 || h->isSectionHidden(column))
            continue;
        const QRect cell(h->sectionViewportPosition(column), option.rect.top(),
                         h->sectionSize(column), option.rect.height());
        painter->save();
        painter->setClipRect(cell);
        DrawCell(painter, s, row, column, cell, first);
        painter->restore();
        if (m_extendedStyle & LVS_EX_GRIDLINES) {
            painter->setPen(palette().color(QPalette::Midlight));
            painter->drawLine(cell.right(), cell.top(), cell.right(), cell.bottom());
            painter->drawLine(cell.left(), cell.bottom(), cell.right(), cell.bottom());
        }
        first = false;
    }
    if (s.focusFrame && !s.frame.isNull()) {
        QPen pen(palette().color(QPalette::WindowText), 1, Qt::DotLine);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(s.frame.adjusted(0, 0, -1, -1));
    }
    painter->restore();
}

void COwnerDrawListCtrl::paintEvent(QPaintEvent* event) {
    if (m_sortColumn >= 0 && m_shadeSortColumn) {
        QPainter painter(viewport());
        const QRect strip(header()->sectionViewportPosition(m_sortColumn), 0,
                          header()->sectionSize(m_sortColumn), viewport()->height());
        painter.fillRect(strip, ToQColor(m_shadeColor));
    }
    QTreeView::paintEvent(event);
}

void COwnerDrawListCtrl::startDrag(Qt::DropActions) {
    // A drag carries nothing; it exists so that the list behaves like its siblings.
    auto* drag = new QDrag(this);
    drag->setMimeData(new QMimeData);
    drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
}

void COwnerDrawListCtrl::mousePressEvent(QMouseEvent* event) {
    // A click on a row's check box toggles it before the usual selection handling.
    if ((m_extendedStyle & LVS_EX_CHECKBOXES) != 0 && event->button() == Qt::LeftButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid()) {
            const QRect cell(header()->sectionViewportPosition(0), visualRect(index).top(),
                             header()->sectionSize(0), visualRect(index).height());
            if (CheckBoxRect(cell).contains(event->position().toPoint()))
                SetCheck(index.row(), !GetCheck(index.row()));
        }
    }
    QTreeView::mousePressEvent(event);
}

// ---- sorting ---------------------------------------------------------------------------

void COwnerDrawListCtrl::SetNumericColumn(int column, bool numeric) {
    auto it = std::find(m_numericColumns.begin(), m_numericColumns.end(), column);
    if (numeric && it == m_numericColumns.end())
        m_numericColumns.push_back(column);
    if (!numeric && it != m_numericColumns.end())
        m_numericColumns.erase(it);
}

void COwnerDrawListCtrl::SetShadeSortColumn(bool on) {
    m_shadeSortColumn = on;
    viewport()->update();
}

void COwnerDrawListCtrl::SortByColumn(int column, bool ascending) {
    if (column < 0 || column >= m_model.columnCount())
        return;
    const bool numeric = std::find(m_numericColumns.begin(), m_numericColumns.end(), column) !=
                         m_numericColumns.end();
    struct Row {
        QList<QStandardItem*> items;
        QString text;
        int number;
    };
    std::vector<Row> rows;
    while (m_model.rowCount() > 0) {
        Row r;
        r.items = m_model.takeRow(0);
        const QStandardItem* cell = column < r.items.size() ? r.items[column] : nullptr;
        r.text = cell != nullptr ? cell->text() : QString();
        r.number = std::atoi(r.text.toStdString().c_str());
        rows.push_back(std::move(r));
    }
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
        const int order = numeric ? (a.number < b.number   ? -1
                                     : a.number > b.number ? 1
                                                           : 0)
                                  : a.text.compare(b.text, Qt::CaseInsensitive);
        return ascending ? order < 0 : order > 0;
    });
    for (Row& r : rows) m_model.appendRow(r.items);
}

void COwnerDrawListCtrl::UpdateHeaderSortState(int column) {
    if (std::abs(m_headerSortColumn) - 1 == column)
        m_headerSortColumn = -m_headerSortColumn;
    else
        m_headerSortColumn = column + 1;
}

void COwnerDrawListCtrl::OnHeaderClick(int column, bool ctrlHeld) {
    if (column < 0 || m_sorting)
        return;
    m_sorting = true;
    m_sortColumn = column;
    const bool multi = ctrlHeld && m_sortHeader != nullptr && m_sortHeader->AllowsMultiSort();
    if (m_sortHeader != nullptr) {
        m_ascending = m_sortHeader->GetSortState(column) < 0;
        m_sortHeader->SetSortState(column, m_ascending, multi);
    }
    const uint32_t bit = 1u << (column % 32);
    auto ascendingBit = [this](int c) { return (m_sortDirectionBits & (1u << (c % 32))) != 0; };
    if (!multi) {
        std::fill(std::begin(m_sortColumns), std::end(m_sortColumns), -1);
        m_sortColumns[0] = column;
        SortByColumn(column, ascendingBit(column));
        m_sortDirectionBits ^= bit;
    } else {
        int* end = std::find(std::begin(m_sortColumns), std::end(m_sortColumns), -1);
        int* at = std::find(std::begin(m_sortColumns), end, column);
        if (at != end) {
            std::rotate(at, at + 1, end);  // move it to the end, the others keep their order
            *(end - 1) = column;
        } else if (end != std::end(m_sortColumns)) {
            *end++ = column;
        }
        const int count = static_cast<int>(end - std::begin(m_sortColumns));
        for (int i = count - 1; i >= 0; --i) {
            const int c = m_sortColumns[i];
            SortByColumn(c, i == count - 1 ? ascendingBit(c) : !ascendingBit(c));
        }
        m_sortDirectionBits ^= bit;
    }
    UpdateHeaderSortState(column);
    viewport()->update();
    m_sorting = false;
}
