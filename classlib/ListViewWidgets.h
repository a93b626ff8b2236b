// Internal to the class library: the toolkit side of the list view, the
// table model, the delegate, the table, its header and the cell editor that
// TListView (ListView.cpp) stands on. Only classlib/*.cpp include this header.
#pragma once

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <set>
#include <vector>

#include "classlib/ListView.h"

class TListModel : public QAbstractTableModel {
public:
    explicit TListModel(TListView* lv) : FListView(lv) {}

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : Rows; }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : std::max(1, Cols); }

    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    void BeginInsert(int first, int last) { beginInsertRows(QModelIndex(), first, last); }
    void EndInsert() { endInsertRows(); }
    void BeginRemove(int first, int last) { beginRemoveRows(QModelIndex(), first, last); }
    void EndRemove() { endRemoveRows(); }
    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }
    void BeginInsertCols(int first, int last) { beginInsertColumns(QModelIndex(), first, last); }
    void EndInsertCols() { endInsertColumns(); }
    void RowChanged(int row);
    void HeaderChanged() { emit headerDataChanged(Qt::Horizontal, 0, std::max(1, Cols) - 1); }

    int Rows = 0;
    int Cols = 0;

private:
    TListView* FListView;
};

class TListTableView;

class TListDelegate : public QStyledItemDelegate {
public:
    explicit TListDelegate(TListView* lv) : FListView(lv) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    TListView* FListView;
};

// The table behind a list view. An owner-drawn row is painted by the list
// view as a whole, once for each of its cells with the drawing clipped to
// that cell, so every cell shows the row's own colours (the view paints its
// selection under each cell before the delegate runs).
class TListTableView : public QTableView {
public:
    explicit TListTableView(TListView* lv);
    void PaintOwnerDrawnCell(QPainter* painter, const QStyleOptionViewItem& option, int row) const;
    void RefreshGeometries() { updateGeometries(); }
    void SetHoverTime(int ms) { FHoverTime = std::max(1, ms); }

protected:
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    TListView* FListView;
    QTimer FHover;
    QPoint FHoverAt;
    int FHoverTime = 400;
};

// The header of a list view: header items with a picture on either side,
// items the list view paints itself, the user's column resizing as a begin
// and an end (a beginning the list view may refuse), and the filter bar.
class TListHeader : public QHeaderView {
public:
    static constexpr int FilterRowHeight = 22;
    TListHeader(TListView* lv, QWidget* parent);
    void SetFilterBar(bool on);
    void SetFixedHeight(int pixels);
    void SetFilterTimeOut(int ms) { FFilterTimeOut = std::max(0, ms); }
    QString FilterText(int column) const;
    void SetFilterText(int column, const QString& text);
    QLineEdit* FilterEdit(int column) const;
    QToolButton* FilterButton(int column) const;
    QSize sizeHint() const override;

protected:
    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override;
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The column whose divider lies under x (the one it ends), or -1; the
    // toolkit grips a divider this many pixels either side.
    int HandleAt(int x) const;
    void Relayout();
    void SyncFilters();
    void PlaceFilters();
    TListView* FListView;
    bool FFilterOn = false;
    int FFixedHeight = 0;
    int FFilterTimeOut = 500;
    int FTracking = -1;
    int FPressed = -1;
    std::vector<QLineEdit*> FEdits;
    std::vector<QToolButton*> FButtons;
    std::set<int> FPendingFilters;
    QTimer FFilterTimer;
};

// The in-place edit box of a cell: Enter keeps the edit, Escape drops it,
// and so does leaving the box (it keeps the edit). Shift+Enter breaks the line.
class TCellEditor : public QPlainTextEdit {
public:
    TCellEditor(TListView* lv, QWidget* parent, int row, int column);
    const int Row;
    const int Column;
    bool Done = false;
    CodePageString Original;
    void Finish(bool keep);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    TListView* FListView;
};

struct TListViewImpl {
    TListTableView* view = nullptr;
    TListHeader* header = nullptr;
    TListModel* model = nullptr;
    TListDelegate* delegate = nullptr;
    QPointer<TCellEditor> editor;
    QPointer<QLabel> hint;
    QPixmap background;
    bool structureDirty = false;
    bool applyingWidth = false;
    ~TListViewImpl();
};
