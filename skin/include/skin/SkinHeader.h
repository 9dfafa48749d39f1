#pragma once
// The playlist's column header drawn from the skin's "listhead.bmp" with white text, a raised
// edge, hot tracking and sort arrows. It picks its own font: the menu font, with "Tahoma" (or
// "MS Sans Serif") for Western character sets.
#include <QHeaderView>
#include <QPixmap>
#include <map>
#include <string>

#include "support/OwnerDrawListCtrl.h"

class CSkinHeader : public QHeaderView, public COwnerDrawListCtrl::ISortHeader {
    Q_OBJECT

public:
    static constexpr const char* kBitmapFile = "listhead.bmp";
    static constexpr int kTextInset = 5;
    static constexpr int kArrowSize = 17;

    explicit CSkinHeader(QWidget* parent = nullptr,
                         const std::string& programFolder = std::string());
    ~CSkinHeader() override;

    // Puts a new skinned header on the list (replacing its plain one) and returns it.
    static CSkinHeader* Install(COwnerDrawListCtrl* list, const std::string& programFolder);

    void SetSkinFolder(const std::string& subFolder) override;
    int GetSortState(int column) const override;
    void SetSortState(int column, bool ascending, bool multiColumn) override;
    bool AllowsMultiSort() const override { return m_allowMultiSort; }
    void SetAllowMultiSort(bool allow) { m_allowMultiSort = allow; }

    const std::string& SkinFolder() const { return skinFolder; }
    std::string BitmapPath() const;
    int HotItem() const { return hotItem; }
    // The left button went down over the header and has not come up there yet.
    bool IsPressed() const { return pressed; }
    // How many times the hot item changed (one repaint each).
    int HotChanges() const { return m_hotChanges; }
    // The font rule: menuFont's face unless its character set is Western, where preferred
    // ("Tahoma") is used when available, else "MS Sans Serif".
    static QString ChooseFace(const QString& menuFace, bool westernCharset, bool tahomaExists);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void DrawHeaderItem(QPainter& p, int index, QRect rect, bool pressedLook);
    void DrawSortArrow(QPainter& p, QRect rect, bool up) const;
    void SetHotItem(int item);
    // The header lost the mouse without a button release (another window took it, a box
    // opened, the header went away): the press is over and nothing is hot.
    void CancelMode();
    const QPixmap& Listhead();

    std::string programFolder;
    std::string skinFolder;
    std::map<int, int> sortState;
    bool ascending = true;
    int hotItem = -1;
    bool pressed = false;
    bool m_allowMultiSort = false;
    int m_hotChanges = 0;
    // listhead.bmp, read once per skin folder rather than for every item painted; null when
    // it does not load.
    QPixmap m_listhead;
    std::string m_listheadPath;
};
