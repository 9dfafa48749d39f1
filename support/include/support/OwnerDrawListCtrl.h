#pragma once
// The playlist: a report-style list drawn row by row by the program so that it matches the
// skin. Long texts end in an ellipsis, the current (playing) row's text has the skin's
// colour, and the header can be replaced by a skinned one. Sorting by header clicks (one
// column, or several with Ctrl) is carried too, though the player's header sends no clicks.
//
// The rows live in the list's own item model; the API follows the list-control operations
// the dialog uses (columns, rows, cell texts, selection, current row).
//
// Threads: user-interface thread only.
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <cstdint>
#include <string>
#include <vector>

#include "support/IniValues.h"

class QHeaderView;

// No Q_OBJECT: the support library does not run moc over its public headers; the dialog
// uses QTreeView's own doubleClicked and customContextMenuRequested signals.
class COwnerDrawListCtrl : public QTreeView {
public:
    // Column alignment (LVCFMT_*).
    enum { LVCFMT_LEFT = 0, LVCFMT_RIGHT = 1, LVCFMT_CENTER = 2 };
    // Extended styles the dialog sets.
    static constexpr uint32_t LVS_EX_GRIDLINES = 0x1;
    static constexpr uint32_t LVS_EX_CHECKBOXES = 0x4;
    static constexpr uint32_t LVS_EX_FULLROWSELECT = 0x20;
    // Pixels taken off the text rectangles (see DrawRow).
    static constexpr int kLabelInset = 2;
    static constexpr int kCellInset = 6;
    static constexpr int kSortColumnSlots = 64;
    // Shade of the sort column: each background component times 97 / 100.
    static constexpr int kShadePercent = 97;
    static constexpr int kCheckBoxSize = 13;
    static constexpr int kCheckBoxSlot = 16;  // the state image's width in the row

    // The header the list talks to for its skin folder and sort arrows; the skinned header
    // implements it.
    class ISortHeader {
    public:
        virtual ~ISortHeader() = default;
        virtual void SetSkinFolder(const std::string& subFolder) = 0;
        // Positive ascending, negative descending, 0 none.
        virtual int GetSortState(int column) const = 0;
        virtual void SetSortState(int column, bool ascending, bool multiColumn) = 0;
        // Whether Ctrl+click may add a column to the sort.
        virtual bool AllowsMultiSort() const = 0;
    };

    explicit COwnerDrawListCtrl(QWidget* parent = nullptr);
    ~COwnerDrawListCtrl() override;

    // Columns and rows.
    int InsertColumn(int index, const std::string& title, int format = LVCFMT_LEFT,
                     int width = 100);
    int GetColumnCount() const;
    int GetColumnFormat(int column) const;
    int InsertItem(int row, const std::string& text);  // returns the row, or -1
    bool SetItemText(int row, int column, const std::string& text);
    std::string GetItemText(int row, int column) const;
    int GetItemCount() const;
    bool DeleteItem(int row);
    void DeleteAllItems();
    void SetItemData(int row, intptr_t data);
    // The check box of a row (shown with LVS_EX_CHECKBOXES).
    void SetCheck(int row, bool checked);
    bool GetCheck(int row) const;
    intptr_t GetItemData(int row) const;

    // Selection and focus.
    bool IsSelected(int row) const;
    void SetSelected(int row, bool selected);
    void ClearSelection();
    std::vector<int> GetSelectedRows() const;  // ascending
    int GetFocusedRow() const;
    void EnsureVisible(int row);

    // Styles and colours.
    void SetExtendedStyle(uint32_t style);
    uint32_t GetExtendedStyle() const { return m_extendedStyle; }
    void SetShowSelAlways(bool on);
    void SetBkColor(COLORREF color);
    COLORREF GetBkColor() const { return m_bkColor; }
    // The current (playing) row: drawn in the current-row colour; -1 none.
    void SetCurrentRow(int row);
    int GetCurrentRow() const { return m_currentRow; }
    void SetCurrentRowColor(COLORREF color);
    COLORREF GetCurrentRowColor() const { return m_currentRowColor; }

    // The skinned header. The list owns header (a QHeaderView that also implements
    // ISortHeader); it replaces the plain one.
    void SubclassHeader(QHeaderView* header, ISortHeader* link);
    ISortHeader* GetSortHeader() const { return m_sortHeader; }
    void SetHeaderBitmap(const std::string& subFolder);
    const std::string& GetHeaderBitmap() const { return m_headerBitmap; }

    // Sorting.
    void SetNumericColumn(int column, bool numeric);
    void SetShadeSortColumn(bool on);
    COLORREF GetShadeColor() const { return m_shadeColor; }
    // A header click on column (multi: Ctrl held and allowed by the header).
    void OnHeaderClick(int column, bool ctrlHeld);
    int GetSortColumn() const { return m_sortColumn; }
    bool IsAscending() const { return m_ascending; }

    // Cell colours the default custom draw uses; override for per-cell colours.
    virtual COLORREF GetCellTextColor(int row, int column) const;
    virtual COLORREF GetCellBkColor(int row, int column) const;

    // Fits text into width pixels: unchanged when it fits, else as many characters as fit
    // followed by "...", else the first character with "..", "." or nothing.
    static std::string FitText(const std::string& text, int width, const QFontMetrics& metrics);

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void paintEvent(QPaintEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    class CellDelegate;
    friend class CellDelegate;
    struct RowState;

    RowState StateOfRow(int row) const;
    void DrawCell(QPainter* painter, const RowState& state, int row, int column, QRect cell,
                  bool firstDisplayed) const;
    void DrawCellText(QPainter* painter, const std::string& text, QRect rect, int format,
                      bool currentRow, QColor color) const;
    void ComputeShadeColor();
    void SortByColumn(int column, bool ascending);
    void UpdateHeaderSortState(int column);
    QRect RowRect(int row) const;
    // The check box of column 0 in a cell, when the list shows check boxes.
    QRect CheckBoxRect(QRect cell) const;

    QStandardItemModel m_model;
    CellDelegate* m_delegate = nullptr;  // owned by the view (child)
    std::vector<int> m_numericColumns;
    ISortHeader* m_sortHeader = nullptr;  // the header widget itself, owned by the view
    std::string m_headerBitmap;
    // Sort state.
    int m_sortColumn = -1;
    bool m_ascending = true;
    bool m_shadeSortColumn = false;
    COLORREF m_shadeColor = 0xFFFFFFFF;
    int m_sortColumns[kSortColumnSlots];
    uint32_t m_sortDirectionBits = 0;  // bit set: next sort of that column is ascending
    bool m_sorting = false;
    int m_headerSortColumn = 1;  // column + 1 as the header shows it, negative descending
    // Drawing state.
    int m_column0Format = LVCFMT_LEFT;
    int m_currentRow = -1;
    COLORREF m_currentRowColor = 0;
    COLORREF m_bkColor = 0xFFFFFF;
    uint32_t m_extendedStyle = 0;
    bool m_showSelAlways = false;
};
