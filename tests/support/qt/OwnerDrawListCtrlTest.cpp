#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <map>

#include "support/OwnerDrawListCtrl.h"

namespace {

class FakeHeader : public COwnerDrawListCtrl::ISortHeader {
public:
    void SetSkinFolder(const std::string& subFolder) override { folder = subFolder; }
    int GetSortState(int column) const override {
        auto it = states.find(column);
        return it == states.end() ? 0 : it->second;
    }
    void SetSortState(int column, bool ascending, bool multiColumn) override {
        if (!multiColumn)
            states.clear();
        states[column] = ascending ? 1 : -1;
    }
    bool AllowsMultiSort() const override { return true; }
    std::map<int, int> states;
    std::string folder;
};

class OwnerDrawListCtrlTest : public ::testing::Test {
protected:
    void SetUp() override {
        list = std::make_unique<COwnerDrawListCtrl>();
        list->resize(300, 200);
        list->InsertColumn(0, "File name", COwnerDrawListCtrl::LVCFMT_LEFT, 150);
        list->InsertColumn(1, "Time", COwnerDrawListCtrl::LVCFMT_LEFT, 80);
    }

    void AddRows(std::initializer_list<std::pair<const char*, const char*>> rows) {
        for (const auto& [first, second] : rows) {
            const int row = list->InsertItem(list->GetItemCount(), first);
            list->SetItemText(row, 1, second);
        }
    }

    std::vector<std::string> Column(int column) const {
        std::vector<std::string> texts;
        for (int r = 0; r < list->GetItemCount(); ++r)
            texts.push_back(list->GetItemText(r, column));
        return texts;
    }

    QImage Shot() const { return list->viewport()->grab().toImage(); }
    QImage RowImage(const QImage& shot, int row) const {
        const QRect r = list->visualRect(list->model()->index(row, 0));
        return shot.copy(QRect(0, r.top(), shot.width(), r.height()));
    }

    static bool HasColour(const QImage& image, QColor colour) {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y).rgb() == colour.rgb())
                    return true;
        return false;
    }

    std::unique_ptr<COwnerDrawListCtrl> list;
};

TEST_F(OwnerDrawListCtrlTest, EllipsisKeepsAsManyCharactersAsFit) {
    const QFontMetrics m(list->font());
    const std::string text = "abcdefghij";
    EXPECT_EQ(COwnerDrawListCtrl::FitText(text, m.horizontalAdvance("abcdefghij"), m), text);
    EXPECT_EQ(COwnerDrawListCtrl::FitText("", 0, m), "");
    const int dots = m.horizontalAdvance("...");
    EXPECT_EQ(COwnerDrawListCtrl::FitText(text, m.horizontalAdvance("abcd") + dots, m), "abcd...");
    EXPECT_EQ(COwnerDrawListCtrl::FitText(text, m.horizontalAdvance("abcd") + dots - 1, m),
              "abc...");
    const int a = m.horizontalAdvance("a");
    if (a + dots > a + m.horizontalAdvance("..")) {
        EXPECT_EQ(COwnerDrawListCtrl::FitText(text, a + m.horizontalAdvance(".."), m), "a..");
    }
    EXPECT_EQ(COwnerDrawListCtrl::FitText(text, a + m.horizontalAdvance("."), m), "a.");
    EXPECT_EQ(COwnerDrawListCtrl::FitText(text, a, m), "a");
    EXPECT_EQ(COwnerDrawListCtrl::FitText(text, 0, m), "a");
}

TEST_F(OwnerDrawListCtrlTest, CurrentRowTextHasTheSkinColourUntilCleared) {
    AddRows({{"first.tvq", "1:00"}, {"second.tvq", "2:00"}});
    list->SetBkColor(0xFFFFFF);
    const QColor red(255, 0, 0);
    list->SetCurrentRowColor(0x0000FF);
    list->SetCurrentRow(1);
    QImage shot = Shot();
    EXPECT_TRUE(HasColour(RowImage(shot, 1), red));
    EXPECT_FALSE(HasColour(RowImage(shot, 0), red));
    list->SetCurrentRow(-1);
    shot = Shot();
    EXPECT_FALSE(HasColour(RowImage(shot, 1), red));
    EXPECT_EQ(list->GetCurrentRow(), -1);
}

TEST_F(OwnerDrawListCtrlTest, UnfocusedSelectionShowsOnlyWithShowSelAlways) {
    AddRows({{"same", "1:00"}, {"same", "1:00"}});
    list->SetExtendedStyle(COwnerDrawListCtrl::LVS_EX_FULLROWSELECT |
                           COwnerDrawListCtrl::LVS_EX_GRIDLINES);
    list->SetSelected(0, true);
    ASSERT_FALSE(list->hasFocus());
    QImage shot = Shot();
    EXPECT_EQ(RowImage(shot, 0), RowImage(shot, 1));
    list->SetShowSelAlways(true);
    shot = Shot();
    EXPECT_NE(RowImage(shot, 0), RowImage(shot, 1));
    EXPECT_TRUE(HasColour(RowImage(shot, 0), list->palette().color(QPalette::Button)));
}

TEST_F(OwnerDrawListCtrlTest, TheFocusedRowShowsItsFocusFrameSelectedOrNot) {
    AddRows({{"same", "1:00"}, {"same", "1:00"}});
    list->show();
    QApplication::setActiveWindow(list.get());
    list->setFocus();
    ASSERT_TRUE(list->hasFocus());
    list->selectionModel()->setCurrentIndex(list->model()->index(1, 0),
                                            QItemSelectionModel::NoUpdate);
    list->ClearSelection();
    ASSERT_EQ(list->GetFocusedRow(), 1);
    ASSERT_TRUE(list->GetSelectedRows().empty());
    const QImage shot = Shot();
    // The rows differ only by the frame, whose left side runs down column 0's box edge.
    EXPECT_NE(RowImage(shot, 0), RowImage(shot, 1));
    const QColor frame = list->palette().color(QPalette::WindowText);
    const auto leftColumn = [&](int row) {
        const QImage image = RowImage(shot, row);
        return image.copy(0, 0, 1, image.height());
    };
    EXPECT_FALSE(HasColour(leftColumn(0), frame));
    EXPECT_TRUE(HasColour(leftColumn(1), frame));
}

TEST_F(OwnerDrawListCtrlTest, BackgroundColourFillsCellsAndGivesTheShade) {
    AddRows({{"x", ""}});
    list->SetBkColor(MakeColorRef(100, 200, 255));
    EXPECT_EQ(list->GetShadeColor(), MakeColorRef(97, 194, 247));
    const QImage shot = Shot();
    EXPECT_EQ(RowImage(shot, 0).pixelColor(200, 3).rgb(), QColor(100, 200, 255).rgb());
}

TEST_F(OwnerDrawListCtrlTest, CentredFirstColumnIsCentredInTheHeaderToo) {
    COwnerDrawListCtrl other;
    other.InsertColumn(0, "Name", COwnerDrawListCtrl::LVCFMT_CENTER, 100);
    const int align = other.model()->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).toInt();
    EXPECT_TRUE(align & Qt::AlignHCenter);
}

TEST_F(OwnerDrawListCtrlTest, RowsSelectionAndDeletion) {
    AddRows({{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}});
    list->SetSelected(3, true);
    list->SetSelected(1, true);
    EXPECT_EQ(list->GetSelectedRows(), (std::vector<int>{1, 3}));
    EXPECT_TRUE(list->DeleteItem(1));
    EXPECT_EQ(Column(0), (std::vector<std::string>{"a", "c", "d"}));
    EXPECT_EQ(list->GetSelectedRows(), (std::vector<int>{2}));
    list->ClearSelection();
    EXPECT_TRUE(list->GetSelectedRows().empty());
    EXPECT_FALSE(list->DeleteItem(7));
    EXPECT_FALSE(list->SetItemText(9, 0, "x"));
    list->DeleteAllItems();
    EXPECT_EQ(list->GetItemCount(), 0);
}

TEST_F(OwnerDrawListCtrlTest, NumericColumnsSortByNumberTextColumnsIgnoreCase) {
    AddRows({{"b", "10"}, {"A", "9"}, {"a", "100"}, {"C", "-1"}});
    list->SetNumericColumn(1, true);
    list->OnHeaderClick(1, false);  // a first sort is descending
    EXPECT_EQ(Column(1), (std::vector<std::string>{"100", "10", "9", "-1"}));
    list->OnHeaderClick(1, false);
    EXPECT_EQ(Column(1), (std::vector<std::string>{"-1", "9", "10", "100"}));
    list->OnHeaderClick(0, false);
    EXPECT_EQ(Column(0), (std::vector<std::string>{"C", "b", "A", "a"}));
    list->OnHeaderClick(0, false);
    EXPECT_EQ(Column(0), (std::vector<std::string>{"A", "a", "b", "C"}));
    EXPECT_EQ(list->GetSortColumn(), 0);
}

TEST_F(OwnerDrawListCtrlTest, CtrlClickAddsASecondaryKeyAndTellsTheHeader) {
    auto* headerView = new QHeaderView(Qt::Horizontal, list.get());
    FakeHeader link;
    list->SubclassHeader(headerView, &link);
    list->SetHeaderBitmap("skin\\blue\\");
    EXPECT_EQ(link.folder, "skin\\blue\\");
    AddRows({{"b", "1"}, {"a", "2"}, {"b", "0"}, {"a", "1"}});
    list->SetNumericColumn(1, true);
    list->OnHeaderClick(0, false);
    EXPECT_EQ(link.states, (std::map<int, int>{{0, -1}}));
    list->OnHeaderClick(1, true);
    EXPECT_EQ(link.states, (std::map<int, int>{{0, -1}, {1, -1}}));
    EXPECT_EQ(Column(0), (std::vector<std::string>{"b", "b", "a", "a"}));
    EXPECT_EQ(Column(1), (std::vector<std::string>{"1", "0", "2", "1"}));
    // Without Ctrl the sort starts over with one column.
    list->OnHeaderClick(1, false);
    EXPECT_EQ(link.states.size(), 1u);
}

TEST_F(OwnerDrawListCtrlTest, ClickOnTheCheckBoxTogglesIt) {
    AddRows({{"a", "1"}, {"b", "2"}});
    list->SetExtendedStyle(COwnerDrawListCtrl::LVS_EX_CHECKBOXES);
    const QRect row1 = list->visualRect(list->model()->index(1, 0));
    auto click = [&](QPoint at) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    };
    click(QPoint(8, row1.center().y()));
    EXPECT_TRUE(list->GetCheck(1));
    EXPECT_FALSE(list->GetCheck(0));
    click(QPoint(60, row1.center().y()));  // on the label: selection only
    EXPECT_TRUE(list->GetCheck(1));
    EXPECT_TRUE(list->IsSelected(1));
    click(QPoint(8, row1.center().y()));
    EXPECT_FALSE(list->GetCheck(1));
}

}  // namespace
