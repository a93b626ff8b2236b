// What assistive technology sees of a list view: a table whose cells are
// named by the text they show (TListView::CellAccessibleText), whose check
// boxes tell their state, and whose cells carry the actions the list view
// offers (toggling a check box, following a link in a cell).
//
// The toolkit's own table interface names cells by their stored text and
// knows nothing of the list view's actions, so the list view brings its own.
#include <QAccessible>
#include <QAccessibleWidget>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPointer>
#include <QTableView>

#include <map>

#include "classlib/ListView.h"
#include "classlib/QtBridge.h"

extern const char* const ListViewMark;

namespace {

TListView* ListOf(const QTableView* view)
{
    return view ? dynamic_cast<TListView*>(ControlOfWidget(view)) : nullptr;
}

bool HeaderShown(const QTableView* view)
{
    return view->horizontalHeader() && !view->horizontalHeader()->isHidden();
}

int ColumnCountOf(const QTableView* view)
{
    return view->model() ? view->model()->columnCount() : 0;
}

int RowCountOf(const QTableView* view)
{
    return view->model() ? view->model()->rowCount() : 0;
}

// One cell, or one column header when row is -1.
class TListCellAccessible : public QAccessibleInterface,
                            public QAccessibleTableCellInterface,
                            public QAccessibleActionInterface {
public:
    TListCellAccessible(QTableView* view, int row, int column) : FView(view), FRow(row), FColumn(column) {}

    bool isValid() const override
    {
        return FView && FColumn >= 0 && FColumn < ColumnCountOf(FView) && FRow >= -1 && FRow < RowCountOf(FView);
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return FView ? FView->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override
    {
        return FView ? QAccessible::queryAccessibleInterface(FView.data()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name || !isValid())
            return {};
        if (FRow < 0)
            return FView->model()->headerData(FColumn, Qt::Horizontal).toString();
        QString name;
        if (TListView* list = ListOf(FView))
            SafeCall([&] { name = ToQString(list->CellAccessibleText(FRow, FColumn)); });
        return name;
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override
    {
        if (!isValid())
            return {};
        if (FRow < 0) {
            QHeaderView* header = FView->horizontalHeader();
            const QRect r(header->sectionViewportPosition(FColumn), 0, header->sectionSize(FColumn), header->height());
            return QRect(header->viewport()->mapToGlobal(r.topLeft()), r.size());
        }
        const QRect r = FView->visualRect(FView->model()->index(FRow, FColumn));
        return QRect(FView->viewport()->mapToGlobal(r.topLeft()), r.size());
    }

    QAccessible::Role role() const override { return FRow < 0 ? QAccessible::ColumnHeader : QAccessible::Cell; }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        if (FRow < 0)
            return s;
        s.selectable = true;
        s.focusable = true;
        s.selected = isSelected();
        const QModelIndex index = FView->model()->index(FRow, FColumn);
        s.focused = FView->hasFocus() && FView->currentIndex().row() == FRow && FColumn == 0;
        const QVariant check = index.data(Qt::CheckStateRole);
        if (check.isValid()) {
            s.checkable = true;
            s.checked = check.toInt() == Qt::Checked;
        }
        const QRect visible = FView->viewport()->rect();
        if (!visible.intersects(FView->visualRect(index)))
            s.offscreen = true;
        if (TListView* list = ListOf(FView))
            s.readOnly = list->ReadOnly();
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableCellInterface)
            return static_cast<QAccessibleTableCellInterface*>(this);
        if (type == QAccessible::ActionInterface && FRow >= 0)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QList<QAccessibleInterface*> columnHeaderCells() const override
    {
        QList<QAccessibleInterface*> cells;
        if (FView && HeaderShown(FView))
            if (QAccessibleInterface* table = parent())
                cells << table->child(FColumn);
        return cells;
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return FColumn; }
    int rowIndex() const override { return FRow; }
    bool isSelected() const override
    {
        return isValid() && FRow >= 0 && FView->selectionModel() &&
               FView->selectionModel()->isRowSelected(FRow, QModelIndex());
    }
    QAccessibleInterface* table() const override { return parent(); }

    QStringList actionNames() const override
    {
        QStringList names;
        if (!isValid() || FRow < 0)
            return names;
        if (TListView* list = ListOf(FView))
            SafeCall([&] {
                for (const CodePageString& action : list->CellAccessibleActions(FRow, FColumn))
                    names << ToQString(action);
            });
        return names;
    }
    void doAction(const QString& actionName) override
    {
        if (!isValid() || FRow < 0)
            return;
        TListView* list = ListOf(FView);
        if (!list || !list->Enabled())
            return;
        SafeCall([&] { list->DoCellAccessibleAction(FRow, FColumn, FromQString(actionName)); });
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QTableView> FView;
    int FRow;
    int FColumn;
};

// The list view as a table: the column headers first, then the cells row by
// row, the order in which the view numbers its cells in its own notices.
class TListAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit TListAccessible(QTableView* view) : QAccessibleWidget(view, QAccessible::Table) {}
    ~TListAccessible() override { DropCells(); }

    QTableView* View() const { return static_cast<QTableView*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    int childCount() const override
    {
        return (RowCountOf(View()) + HeaderRows()) * ColumnCountOf(View());
    }
    QAccessibleInterface* child(int index) const override
    {
        const int columns = ColumnCountOf(View());
        if (index < 0 || columns == 0 || index >= childCount())
            return nullptr;
        return Cell(index / columns - HeaderRows(), index % columns);
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (!child)
            return -1;
        if (QAccessibleTableCellInterface* cell = const_cast<QAccessibleInterface*>(child)->tableCellInterface())
            return (cell->rowIndex() + HeaderRows()) * ColumnCountOf(View()) + cell->columnIndex();
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        QTableView* view = View();
        const QPoint local = view->viewport()->mapFromGlobal(QPoint(x, y));
        const QModelIndex index = view->indexAt(local);
        if (index.isValid())
            return Cell(index.row(), index.column());
        return nullptr;
    }
    QAccessibleInterface* focusChild() const override
    {
        const QModelIndex current = View()->currentIndex();
        if (!current.isValid())
            return nullptr;
        return Cell(current.row(), 0);
    }

    QAccessibleInterface* cellAt(int row, int column) const override
    {
        if (row < 0 || row >= RowCountOf(View()) || column < 0 || column >= ColumnCountOf(View()))
            return nullptr;
        return Cell(row, column);
    }
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QString columnDescription(int column) const override
    {
        return View()->model() ? View()->model()->headerData(column, Qt::Horizontal).toString() : QString();
    }
    QString rowDescription(int) const override { return {}; }
    int columnCount() const override { return ColumnCountOf(View()); }
    int rowCount() const override { return RowCountOf(View()); }
    int selectedCellCount() const override { return selectedRowCount() * columnCount(); }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return int(selectedRows().size()); }
    QList<QAccessibleInterface*> selectedCells() const override
    {
        QList<QAccessibleInterface*> cells;
        for (int row : selectedRows())
            for (int column = 0; column < columnCount(); ++column)
                cells << Cell(row, column);
        return cells;
    }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override
    {
        QList<int> rows;
        if (QItemSelectionModel* selection = View()->selectionModel())
            for (const QModelIndex& index : selection->selectedRows())
                rows << index.row();
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override
    {
        QItemSelectionModel* selection = View()->selectionModel();
        return selection && selection->isRowSelected(row, QModelIndex());
    }
    bool selectRow(int row) override
    {
        QTableView* view = View();
        if (!view->selectionModel() || row < 0 || row >= rowCount())
            return false;
        const auto flags = view->selectionMode() == QAbstractItemView::SingleSelection
                               ? QItemSelectionModel::ClearAndSelect
                               : QItemSelectionModel::Select;
        view->selectionModel()->setCurrentIndex(view->model()->index(row, 0), flags | QItemSelectionModel::Rows);
        return true;
    }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int row) override
    {
        QTableView* view = View();
        if (!view->selectionModel() || row < 0 || row >= rowCount())
            return false;
        view->selectionModel()->select(view->model()->index(row, 0),
                                       QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        return true;
    }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override { DropCells(); }

private:
    int HeaderRows() const { return HeaderShown(View()) ? 1 : 0; }

    // Cells are made on first use and kept, keyed by their place.
    QAccessibleInterface* Cell(int row, int column) const
    {
        const std::pair<int, int> key{row, column};
        if (auto it = FCells.find(key); it != FCells.end())
            if (QAccessibleInterface* cell = QAccessible::accessibleInterface(it->second))
                return cell;
        auto* cell = new TListCellAccessible(View(), row, column);
        FCells[key] = QAccessible::registerAccessibleInterface(cell);
        return cell;
    }
    void DropCells()
    {
        for (const auto& [key, id] : FCells)
            QAccessible::deleteAccessibleInterface(id);
        FCells.clear();
    }

    mutable std::map<std::pair<int, int>, QAccessible::Id> FCells;
};

QAccessibleInterface* ListViewFactory(const QString&, QObject* object)
{
    auto* view = qobject_cast<QTableView*>(object);
    if (view && view->property(ListViewMark).toBool())
        return new TListAccessible(view);
    return nullptr;
}

}  // namespace

const char* const ListViewMark = "TenvarelListView";

void InstallListViewAccessibility()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(&ListViewFactory);
}
