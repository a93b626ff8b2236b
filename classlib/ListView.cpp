#include "classlib/ListView.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <set>

#include "classlib/ListViewWidgets.h"
#include "classlib/QtBridge.h"

// ListViewAccess.cpp: the accessible table of a list view, for views that
// carry this property.
void InstallListViewAccessibility();
extern const char* const ListViewMark;

namespace {

[[noreturn]] void IndexError(int index)
{
    throw EListError("List index out of bounds (" + IntToStr(index) + ")");
}

const CodePageString& EmptyString()
{
    static const CodePageString empty;
    return empty;
}

}  // namespace

// --- sub-items --------------------------------------------------------------------------------------

void TListSubItems::Touched()
{
    FItem->RowChanged(ctText);
}

std::vector<CodePageString>& TListSubItems::Lines()
{
    return FItem->FSubTexts;
}

const std::vector<CodePageString>& TListSubItems::Lines() const
{
    return FItem->FSubTexts;
}

int TListSubItems::Count() const
{
    return int(Lines().size());
}

CodePageString TListSubItems::Get(int index) const
{
    if (index < 0 || index >= Count())
        ListIndexError(index);
    return Lines()[size_t(index)];
}

const CodePageString& TListSubItems::StringRef(int index) const
{
    if (index < 0 || index >= Count())
        return EmptyString();
    return Lines()[size_t(index)];
}

void TListSubItems::Put(int index, const CodePageString& s)
{
    if (index < 0 || index >= Count())
        ListIndexError(index);
    Changing();
    Lines()[size_t(index)] = s;
    Changed();
    Touched();
}

void TListSubItems::Insert(int index, const CodePageString& s)
{
    if (index < 0 || index > Count())
        ListIndexError(index);
    // A row's sub-items are mostly added one by one, one for each column
    // after the first: room for them all comes with the first.
    if (Lines().capacity() == 0)
        Lines().reserve(std::size_t(std::max(1, FItem->ListView()->Columns()->Count() - 1)));
    Changing();
    Lines().insert(Lines().begin() + index, s);
    Changed();
    Touched();
}

void TListSubItems::Delete(int index)
{
    if (index < 0 || index >= Count())
        ListIndexError(index);
    Changing();
    Lines().erase(Lines().begin() + index);
    Changed();
    Touched();
}

void TListSubItems::Clear()
{
    if (Lines().empty())
        return;
    Changing();
    Lines().clear();
    Changed();
    Touched();
}

void TListSubItems::AddLines(std::vector<CodePageString> lines, std::vector<TObject*>)
{
    Changing();
    if (Lines().empty())
        Lines() = std::move(lines);
    else
        Lines().insert(Lines().end(), std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
    Changed();
    Touched();
}

// --- items ------------------------------------------------------------------------------------------

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define TENVAREL_ITEM_BLOCKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TENVAREL_ITEM_BLOCKS 0
#endif
#endif
#ifndef TENVAREL_ITEM_BLOCKS
#define TENVAREL_ITEM_BLOCKS 1
#endif

// Freed rows' places, handed out again before a new block is taken. The
// blocks stay for the program's life: a list that held many rows will most
// likely hold many again. Rows are made and freed on the GUI thread only.
// Under the address sanitizer every row is an allocation of its own, so that
// a row used after it was freed is caught.
class TItemBlocks {
public:
    void* Take(std::size_t size)
    {
        if (!TENVAREL_ITEM_BLOCKS || size != sizeof(TListItem))
            return ::operator new(size);
        if (!FFree) {
            constexpr std::size_t PerBlock = 512;
            auto* block = static_cast<TSlot*>(::operator new(PerBlock * sizeof(TSlot)));
            for (std::size_t i = PerBlock; i-- > 0;) {
                block[i].Next = FFree;
                FFree = &block[i];
            }
        }
        TSlot* slot = FFree;
        FFree = slot->Next;
        return slot;
    }
    void Give(void* p, std::size_t size)
    {
        if (!TENVAREL_ITEM_BLOCKS || size != sizeof(TListItem)) {
            ::operator delete(p);
            return;
        }
        auto* slot = static_cast<TSlot*>(p);
        slot->Next = FFree;
        FFree = slot;
    }

private:
    union TSlot {
        TSlot* Next;
        alignas(TListItem) unsigned char Bytes[sizeof(TListItem)];
    };
    TSlot* FFree = nullptr;
};

TItemBlocks& ItemBlocks()
{
    // Never destroyed: rows may be freed during static destruction.
    static TItemBlocks* blocks = new TItemBlocks;
    return *blocks;
}

}  // namespace

void* TListItem::operator new(std::size_t size)
{
    return ItemBlocks().Take(size);
}

void TListItem::operator delete(void* p, std::size_t size)
{
    if (p)
        ItemBlocks().Give(p, size);
}

TListItem::TListItem(TListItems* owner) : FOwner(owner) {}

TListItem::~TListItem() = default;

TListView* TListItem::ListView() const
{
    return FOwner->Owner();
}

void TListItem::RowChanged(TItemChange change)
{
    ListView()->ItemChanged(this, change);
}

TStrings* TListItem::SubItems()
{
    if (!FSubItems)
        FSubItems = std::make_unique<TListSubItems>(this);
    return FSubItems.get();
}

const CodePageString& TListItem::SubItemRef(int index) const
{
    if (index < 0 || index >= int(FSubTexts.size()))
        return EmptyString();
    return FSubTexts[size_t(index)];
}

void TListItem::SetSubItems(std::vector<CodePageString> texts)
{
    if (FSubItems) {
        // The sub-item list tells its handlers, once.
        struct TUpdating {
            TStrings& List;
            explicit TUpdating(TStrings& list) : List(list) { List.BeginUpdate(); }
            ~TUpdating() { List.EndUpdate(); }
        } updating(*FSubItems);
        FSubItems->Clear();
        FSubItems->AddStrings(std::move(texts));
        return;
    }
    FSubTexts = std::move(texts);
    RowChanged(ctText);
}

void TListItem::SetCaption(const CodePageString& caption)
{
    FCaption = caption;
    RowChanged(ctText);
}

void TListItem::SetImageIndex(int index)
{
    FImageIndex = index;
    RowChanged(ctImage);
}

void TListItem::SetStateIndex(int index)
{
    FStateIndex = index;
    RowChanged(ctState);
}

void TListItem::SetIndent(int indent)
{
    FIndent = indent;
    RowChanged(ctText);
}

void TListItem::SetChecked(bool checked)
{
    if (checked == FChecked)
        return;
    FChecked = checked;
    RowChanged(ctState);
}

int TListItem::SubItemImages(int index) const
{
    if (!FSubImages || index < 0 || index >= int(FSubImages->size()))
        return -1;
    return (*FSubImages)[size_t(index)];
}

void TListItem::SetSubItemImages(int index, int image)
{
    if (index < 0)
        return;
    if (!FSubImages)
        FSubImages = std::make_unique<std::vector<int>>();
    if (index >= int(FSubImages->size()))
        FSubImages->resize(size_t(index) + 1, -1);
    (*FSubImages)[size_t(index)] = image;
    RowChanged(ctImage);
}

bool TListItem::Selected() const
{
    TListViewImpl* impl = ListView()->Impl();
    if (FIndex >= impl->model->Rows)
        return false;
    return impl->view->selectionModel()->isRowSelected(FIndex, QModelIndex());
}

void TListItem::SetSelected(bool selected)
{
    TListViewImpl* impl = ListView()->Impl();
    if (FIndex >= impl->model->Rows)
        return;
    const QModelIndex idx = impl->model->index(FIndex, 0);
    auto* sm = impl->view->selectionModel();
    if (selected) {
        if (!ListView()->MultiSelect())
            sm->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        else
            sm->select(idx, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    } else {
        sm->select(idx, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    }
}

bool TListItem::Focused() const
{
    return ListView()->Impl()->view->currentIndex().row() == FIndex;
}

void TListItem::SetFocused(bool focused)
{
    TListViewImpl* impl = ListView()->Impl();
    if (FIndex >= impl->model->Rows)
        return;
    if (focused)
        impl->view->selectionModel()->setCurrentIndex(impl->model->index(FIndex, 0), QItemSelectionModel::NoUpdate);
    else if (Focused())
        impl->view->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

void TListItem::Assign(const TListItem& source)
{
    if (&source == this)
        return;
    FCaption = source.FCaption;
    SetSubItems(source.FSubTexts);
    FImageIndex = source.FImageIndex;
    FStateIndex = source.FStateIndex;
    FIndent = source.FIndent;
    FChecked = source.FChecked;
    FData = source.FData;
    if (source.FSubImages)
        FSubImages = std::make_unique<std::vector<int>>(*source.FSubImages);
    else
        FSubImages.reset();
    RowChanged(ctText);
}

void TListItem::Delete()
{
    FOwner->Delete(FIndex);
}

void TListItem::MakeVisible(bool)
{
    TListViewImpl* impl = ListView()->Impl();
    if (FIndex < impl->model->Rows)
        impl->view->scrollTo(impl->model->index(FIndex, 0));
}

TRect TListItem::DisplayRect(TDisplayCode code) const
{
    TListView* lv = ListView();
    TListViewImpl* impl = lv->Impl();
    if (FIndex >= impl->model->Rows)
        return {};
    const QRect first = impl->view->visualRect(impl->model->index(FIndex, 0));
    if (first.isEmpty())
        return {};
    switch (code) {
    case drIcon: {
        const int w = lv->SmallImages() ? lv->SmallImages()->Width() : 0;
        return Bounds(first.x(), first.y(), w, first.height());
    }
    case drLabel:
        return FromQRect(first);
    default:
        return Bounds(-impl->view->horizontalScrollBar()->value(), first.y(), impl->view->horizontalHeader()->length(),
                      first.height());
    }
}

void TListItem::Update()
{
    RowChanged(ctText);
}

TListItems::~TListItems() = default;

TListItem* TListItems::Item(int index) const
{
    if (index < 0 || index >= Count())
        IndexError(index);
    return FItems[size_t(index)].get();
}

void TListItems::Renumber(int from)
{
    for (int i = std::max(0, from); i < Count(); ++i)
        FItems[size_t(i)]->FIndex = i;
}

void TListItems::RefuseWhileSorting() const
{
    // The sort holds every item; a comparison handler may not add or take any.
    if (FOwner->Sorting())
        throw EListError("List cannot change while it is sorted");
}

TListItem* TListItems::Add()
{
    return Insert(Count());
}

TListItem* TListItems::Insert(int index)
{
    RefuseWhileSorting();
    if (index < 0 || index > Count())
        IndexError(index);
    TListViewImpl* impl = FOwner->Impl();
    auto item = std::unique_ptr<TListItem>(new TListItem(this));
    TListItem* raw = item.get();
    const bool announce = FUpdateCount == 0 && !impl->structureDirty;
    if (announce)
        impl->model->BeginInsert(index, index);
    FItems.insert(FItems.begin() + index, std::move(item));
    if (index == Count() - 1)
        raw->FIndex = index;
    else
        Renumber(index);
    if (announce) {
        impl->model->Rows = Count();
        impl->model->EndInsert();
    } else if (index < impl->model->Rows) {
        impl->structureDirty = true;
    }
    FOwner->InsertItem(raw);
    return raw;
}

void TListItems::Delete(int index)
{
    RefuseWhileSorting();
    if (index < 0 || index >= Count())
        IndexError(index);
    TListViewImpl* impl = FOwner->Impl();
    FOwner->Delete(FItems[size_t(index)].get());
    const bool announce = FUpdateCount == 0 && !impl->structureDirty && index < impl->model->Rows;
    if (announce)
        impl->model->BeginRemove(index, index);
    FItems.erase(FItems.begin() + index);
    Renumber(index);
    if (announce) {
        impl->model->Rows = Count();
        impl->model->EndRemove();
    } else {
        impl->structureDirty = true;
    }
}

void TListItems::Clear()
{
    if (!FItems.empty())
        RefuseWhileSorting();
    if (FItems.empty())
        return;
    if (FOwner->OnDeletion)
        for (auto& item : FItems)
            FOwner->Delete(item.get());
    TListViewImpl* impl = FOwner->Impl();
    if (FUpdateCount == 0) {
        impl->model->BeginReset();
        FItems.clear();
        impl->model->Rows = 0;
        impl->structureDirty = false;
        impl->model->EndReset();
    } else {
        FItems.clear();
        impl->structureDirty = true;
    }
}

int TListItems::IndexOf(const TListItem* item) const
{
    if (!item || item->FOwner != this)
        return -1;
    return item->FIndex;
}

void TListItems::Exchange(int index1, int index2)
{
    if (index1 < 0 || index1 >= Count())
        IndexError(index1);
    if (index2 < 0 || index2 >= Count())
        IndexError(index2);
    std::swap(FItems[size_t(index1)], FItems[size_t(index2)]);
    FItems[size_t(index1)]->FIndex = index1;
    FItems[size_t(index2)]->FIndex = index2;
    FOwner->ItemChanged(FItems[size_t(index1)].get(), ctText);
    FOwner->ItemChanged(FItems[size_t(index2)].get(), ctText);
}

void TListItems::Sort(const std::function<int(TListItem* a, TListItem* b)>& compare)
{
    FOwner->CustomSort(compare);
}

void TListItems::BeginUpdate()
{
    if (FUpdateCount++ == 0)
        FOwner->Impl()->view->setUpdatesEnabled(false);
}

void TListItems::EndUpdate()
{
    if (FUpdateCount == 0 || --FUpdateCount > 0)
        return;
    FOwner->StructureChanged();
    FOwner->Impl()->view->setUpdatesEnabled(true);
}

// --- columns ---------------------------------------------------------------------------------------

void TListColumn::SetCaption(const CodePageString& caption)
{
    FCaption = caption;
    FOwner->Owner()->Impl()->model->HeaderChanged();
}

int TListColumn::Width() const
{
    return FWidth;
}

void TListColumn::SetWidth(int width)
{
    FWidth = width;
    FOwner->Owner()->ApplyColumnWidth(this);
}

void TListColumn::SetAlignment(TAlignment alignment)
{
    FAlignment = alignment;
    FOwner->Owner()->Impl()->model->HeaderChanged();
    FOwner->Owner()->Invalidate();
}

void TListColumn::SetImageIndex(int index)
{
    FImageIndex = index;
    HeaderLookChanged();
}

void TListColumn::SetHeaderBitmap(const TBitmap* bitmap)
{
    FHeaderBitmap = bitmap;
    HeaderLookChanged();
}

void TListColumn::SetImageOnRight(bool v)
{
    FImageOnRight = v;
    HeaderLookChanged();
}

void TListColumn::SetHeaderOwnerDraw(bool v)
{
    FHeaderOwnerDraw = v;
    HeaderLookChanged();
}

void TListColumn::HeaderLookChanged()
{
    TListViewImpl* impl = FOwner->Owner()->Impl();
    impl->header->viewport()->update();
}

void TListColumn::SetAutoSize(bool v)
{
    FAutoSize = v;
    FOwner->Owner()->ApplyColumnWidth(this);
}

TListColumn* TListColumns::Items(int index) const
{
    if (index < 0 || index >= Count())
        IndexError(index);
    return FColumns[size_t(index)].get();
}

TListColumn* TListColumns::Add()
{
    TListViewImpl* impl = FOwner->Impl();
    const int n = Count();
    auto column = std::unique_ptr<TListColumn>(new TListColumn(this));
    column->FIndex = n;
    TListColumn* raw = column.get();
    // The model always has one column; the first real one takes its place.
    if (n == 0) {
        FColumns.push_back(std::move(column));
        impl->model->Cols = 1;
        impl->model->HeaderChanged();
    } else {
        impl->model->BeginInsertCols(n, n);
        FColumns.push_back(std::move(column));
        impl->model->Cols = n + 1;
        impl->model->EndInsertCols();
    }
    FOwner->ApplyColumnWidth(raw);
    return raw;
}

void TListColumns::Delete(int index)
{
    if (index < 0 || index >= Count())
        IndexError(index);
    TListViewImpl* impl = FOwner->Impl();
    impl->model->BeginReset();
    FColumns.erase(FColumns.begin() + index);
    for (int i = 0; i < Count(); ++i)
        FColumns[size_t(i)]->FIndex = i;
    impl->model->Cols = Count();
    impl->model->Rows = FOwner->Items()->Count();
    impl->structureDirty = false;
    impl->model->EndReset();
    FOwner->ColumnsChanged();
}

void TListColumns::Clear()
{
    TListViewImpl* impl = FOwner->Impl();
    impl->model->BeginReset();
    FColumns.clear();
    impl->model->Cols = 0;
    impl->model->Rows = FOwner->Items()->FUpdateCount > 0 ? impl->model->Rows : FOwner->Items()->Count();
    impl->model->EndReset();
    FOwner->ColumnsChanged();
}

// --- the list view ----------------------------------------------------------------------------------

TListView::TListView(TComponent* AOwner)
    : TWinControl(AOwner), FView(std::make_unique<TListViewImpl>()), FColumns(std::make_unique<TListColumns>(this)),
      FItems(std::make_unique<TListItems>(this))
{
    auto* view = new TListTableView(this);
    UseSteadyScrollBars(view);
    view->setProperty(ListViewMark, true);  // known to the accessibility factory before anyone asks
    FView->view = view;
    FView->model = new TListModel(this);
    FView->model->setParent(view);
    FView->delegate = new TListDelegate(this);
    FView->delegate->setParent(view);
    view->setModel(FView->model);
    view->setItemDelegate(FView->delegate);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    view->setTextElideMode(Qt::ElideRight);
    view->setWordWrap(false);
    view->setShowGrid(false);
    view->setCornerButtonEnabled(false);
    view->setFocusPolicy(Qt::StrongFocus);
    // Tab and Shift+Tab leave the list for the next and the previous control,
    // as from every list; the arrows move among its rows.
    view->setTabKeyNavigation(false);
    view->verticalHeader()->hide();
    view->verticalHeader()->setMinimumSectionSize(1);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    FView->header = new TListHeader(this, view);
    view->setHorizontalHeader(FView->header);
    QHeaderView* header = view->horizontalHeader();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    header->setMinimumSectionSize(0);

    ConnectControl(this, header, &QHeaderView::sectionClicked,
                     [this](int section) { SafeCall([&] { HandleColumnClick(section); }); });
    ConnectControl(this, header, &QHeaderView::sectionResized, [this](int section, int, int size) {
        if (!FView->applyingWidth)
            SafeCall([&] { HandleColumnResized(section, size); });
    });
    ConnectControl(this, header, &QHeaderView::customContextMenuRequested, [this, header](const QPoint& p) {
        const int section = header->logicalIndexAt(p);
        if (section >= 0)
            SafeCall([&] { HandleColumnRightClick(section); });
    });
    ConnectControl(this, header, &QHeaderView::sectionHandleDoubleClicked,
                   [this](int section) { SafeCall([&] { HandleColumnDividerDblClick(section); }); });
    QScrollBar* vertical = view->verticalScrollBar();
    ConnectControl(this, vertical, &QScrollBar::sliderMoved,
                   [this](int value) { SafeCall([&] { HandleScrollTracking(value); }); });
    ConnectControl(this, vertical, &QScrollBar::sliderReleased, [this] { SafeCall([&] { HandleScrollEnded(); }); });
    ConnectControl(this, view->selectionModel(), &QItemSelectionModel::selectionChanged,
                     [this](const QItemSelection& selected, const QItemSelection& deselected) {
                         std::vector<int> on, off;
                         for (const QModelIndex& i : selected.indexes())
                             if (i.column() == 0)
                                 on.push_back(i.row());
                         for (const QModelIndex& i : deselected.indexes())
                             if (i.column() == 0)
                                 off.push_back(i.row());
                         SafeCall([&] { HandleSelectionChanged(on, off); });
                     });

    AttachWidget(view);
    AddInputWidget(view->viewport());
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
    ApplyColor();
    UpdateRowHeight();
    SetBounds(0, 0, 250, 150);
    InstallListViewAccessibility();
}

TListView::~TListView()
{
    SetDestroying();
    if (FView->editor)
        FView->editor->Done = true;
    FClearing = true;
    if (QWidget* w = OwnWidget())
        w->setUpdatesEnabled(false);
}

void TListView::SetViewStyle(TViewStyle style)
{
    FViewStyle = style;
    Invalidate();
}

void TListView::SetCheckboxes(bool v)
{
    FCheckboxes = v;
    UpdateRowHeight();
    Invalidate();
}

void TListView::SetGridLines(bool v)
{
    FGridLines = v;
    FView->view->setShowGrid(v);
}

void TListView::UpdateRowHeight()
{
    FView->view->verticalHeader()->setDefaultSectionSize(RowHeight());
}

void TListView::SetRowSelect(bool v)
{
    FRowSelect = v;
    Invalidate();
}

void TListView::SetMultiSelect(bool v)
{
    FMultiSelect = v;
    FView->view->setSelectionMode(v ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

void TListView::SetShowColumnHeaders(bool v)
{
    FShowColumnHeaders = v;
    FView->view->horizontalHeader()->setVisible(v);
}

void TListView::SetColumnClick(bool v)
{
    FColumnClick = v;
    FView->view->horizontalHeader()->setSectionsClickable(v && FHeaderButtons);
}

void TListView::SetHeaderImages(TImageList* images)
{
    FHeaderImages = images;
    FView->header->viewport()->update();
}

void TListView::SetHeaderHotTrack(bool v)
{
    FView->header->setAttribute(Qt::WA_Hover, v);
    FView->header->setMouseTracking(v);
    FView->header->viewport()->update();
}

void TListView::SetHeaderDragDrop(bool v)
{
    FView->header->setSectionsMovable(v);
}

void TListView::SetHeaderButtons(bool v)
{
    FHeaderButtons = v;
    FView->header->setSectionsClickable(v && FColumnClick);
}

void TListView::SetHeaderFont(const TFont* font, int heightPixels)
{
    if (font)
        FView->header->setFont(ToQFont(*font));
    else
        FView->header->setFont(QApplication::font(FView->header));
    FView->header->SetFixedHeight(heightPixels);
}

void TListView::SetFilterBar(bool v)
{
    FFilterBar = v;
    FView->header->SetFilterBar(v);
}

CodePageString TListView::FilterText(int column) const
{
    return FromQString(FView->header->FilterText(column));
}

void TListView::SetFilterText(int column, const CodePageString& text)
{
    FView->header->SetFilterText(column, ToQString(text));
}

void TListView::SetFilterTimeOut(int ms)
{
    FFilterTimeOut = std::max(0, ms);
    FView->header->SetFilterTimeOut(FFilterTimeOut);
}

void TListView::SetBackgroundBitmap(const TBitmap* bitmap)
{
    FView->background = bitmap && !bitmap->Empty() ? QPixmap::fromImage(bitmap->Image().image) : QPixmap();
    ApplyColor();
    Invalidate();
}

void TListView::SetHoverTime(int ms)
{
    FHoverTime = std::max(1, ms);
    FView->view->SetHoverTime(FHoverTime);
}

TPoint TListView::ItemAreaToScreen(const TPoint& p) const
{
    const QPoint g = FView->view->viewport()->mapToGlobal(QPoint(p.x, p.y));
    return {g.x(), g.y()};
}

int TListView::ItemAreaHeight() const
{
    return FView->view->viewport()->height();
}

int TListView::HeaderHeight() const
{
    return FView->header->isVisible() ? FView->header->height() : 0;
}

// --- in-place editing -------------------------------------------------------------------------

namespace {

// The edit box holds lines; the cell keeps its own line ends when the text is
// not changed, and gets CR LF between lines otherwise.
QString EditorText(const CodePageString& text)
{
    QString q = ToQString(text);
    q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    q.replace(QChar('\r'), QChar('\n'));
    return q;
}

CodePageString EditedText(const QString& raw, const CodePageString& original)
{
    QString q = raw;
    q.replace(QChar(0x2029), QChar('\n'));
    q.replace(QChar(0x2028), QChar('\n'));
    if (q == EditorText(original))
        return original;
    q.replace(QChar('\n'), QStringLiteral("\r\n"));
    return FromQString(q);
}

}  // namespace

bool TListView::EditCell(int row, int column, const CodePageString& text)
{
    if (row < 0 || row >= FView->model->Rows || column < 0 || column >= FView->model->columnCount(QModelIndex()))
        return false;
    EndCellEdit(true);
    auto* editor = new TCellEditor(this, FView->view->viewport(), row, column);
    editor->Original = text;
    editor->setFont(ToQFont(*Font()));
    editor->setPlainText(EditorText(text));
    editor->selectAll();
    FView->editor = editor;
    editor->setGeometry(ToQRect(CellRect(row, column)));
    editor->show();
    editor->setFocus(Qt::OtherFocusReason);
    return true;
}

void TListView::EndCellEdit(bool keep)
{
    if (FView->editor)
        FView->editor->Finish(keep);
}

bool TListView::CellEditing() const
{
    return FView->editor && !FView->editor->Done;
}

CodePageString TListView::CellEditText() const
{
    if (!FView->editor)
        return CodePageString();
    return EditedText(FView->editor->document()->toRawText(), FView->editor->Original);
}

void TListView::SetCellEditText(const CodePageString& text)
{
    if (FView->editor)
        FView->editor->setPlainText(EditorText(text));
}

void TListView::HandleCellEditDone(bool keep)
{
    TCellEditor* editor = FView->editor;
    if (!editor)
        return;
    const int row = editor->Row;
    const int column = editor->Column;
    const CodePageString text = EditedText(editor->document()->toRawText(), editor->Original);
    FView->editor = nullptr;
    editor->hide();
    editor->deleteLater();
    if (Destroying())
        return;
    FView->view->setFocus(Qt::OtherFocusReason);
    if (keep && row < FItems->Count())
        CellEdited(row, column, text);
}

// --- the hint window --------------------------------------------------------------------------

void TListView::ShowHintWindow(const CodePageString& text, const TPoint& screen, const TFont& font)
{
    QLabel* hint = FView->hint;
    if (!hint) {
        hint = new QLabel(nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
        hint->setFrameStyle(QFrame::Box | QFrame::Plain);
        hint->setLineWidth(1);
        hint->setMargin(1);
        hint->setTextFormat(Qt::PlainText);
        QPalette pal = hint->palette();
        pal.setColor(QPalette::Window, ToQColor(clInfoBk));
        pal.setColor(QPalette::WindowText, ToQColor(clInfoText));
        hint->setPalette(pal);
        hint->setAutoFillBackground(true);
        FView->hint = hint;
    }
    hint->setFont(ToQFont(font));
    hint->setText(ToQString(text));
    hint->adjustSize();
    hint->move(screen.x, screen.y);
    hint->show();
    hint->raise();
    QPointer<QLabel> guard(hint);
    const QString shown = hint->text();
    QTimer::singleShot(10000, hint, [guard, shown] {
        if (guard && guard->text() == shown)
            guard->hide();
    });
}

void TListView::HideHintWindow()
{
    if (FView->hint)
        FView->hint->hide();
}

bool TListView::HintWindowVisible() const
{
    return FView->hint && FView->hint->isVisible();
}

CodePageString TListView::HintWindowText() const
{
    return FView->hint ? FromQString(FView->hint->text()) : CodePageString();
}

TPoint TListView::HintWindowPos() const
{
    if (!FView->hint)
        return {};
    return {FView->hint->x(), FView->hint->y()};
}

// --- notices from the toolkit ----------------------------------------------------------------

bool TListView::HandleColumnTrackStart(int column)
{
    bool allow = true;
    if (column >= 0 && column < FColumns->Count())
        ColumnTrackStart(column, allow);
    return allow;
}

void TListView::HandleColumnTrackEnd(int column)
{
    if (column >= 0 && column < FColumns->Count())
        ColumnTrackEnd(column);
}

void TListView::HandleColumnDividerDblClick(int column)
{
    if (column >= 0 && column < FColumns->Count())
        ColumnDividerDblClick(column);
}

void TListView::HandleFilterChanged(int column)
{
    if (column >= 0 && column < FColumns->Count())
        FilterChanged(column);
}

void TListView::HandleFilterButton(int column)
{
    if (column >= 0 && column < FColumns->Count())
        FilterButtonClick(column);
}

void TListView::HandlePaintHeaderItem(int column, const TRect& rect, bool pressed, TCanvas* canvas)
{
    if (column < 0 || column >= FColumns->Count())
        return;
    FCanvas.Paint(canvas, Font(), clBtnFace, [&] { DrawHeaderItem(column, canvas, rect, pressed); });
}

void TListView::HandleToolTip(int x, int y)
{
    CodePageString text;
    TPoint screen;
    TFont font(*Font());
    if (CellHint(x, y, text, screen, font) && !text.empty())
        ShowHintWindow(text, screen, font);
    else
        HideHintWindow();
}

void TListView::HandleScrollTracking(int value)
{
    ScrollTracking(value);
}

void TListView::HandleScrollEnded()
{
    ScrollTrackEnded();
}

void TListView::HandleScrolled()
{
    if (FView->editor)
        FView->editor->setGeometry(ToQRect(CellRect(FView->editor->Row, FView->editor->Column)));
    Scrolled();
}

CodePageString TListView::CellAccessibleText(int row, int column) const
{
    if (row < 0 || row >= FItems->Count())
        return CodePageString();
    const TListItem* item = FItems->Item(row);
    return column == 0 ? item->CaptionRef() : item->SubItemRef(column - 1);
}

std::vector<CodePageString> TListView::CellAccessibleActions(int row, int column) const
{
    if (column == 0 && FCheckboxes && row >= 0 && row < FItems->Count())
        return {AccessibleToggleAction};
    return {};
}

void TListView::DoCellAccessibleAction(int row, int column, const CodePageString& action)
{
    if (action != AccessibleToggleAction || column != 0 || !FCheckboxes || row < 0 || row >= FItems->Count())
        return;
    TListItem* item = FItems->Item(row);
    item->SetChecked(!item->Checked());
    CheckToggled(row);
}

void TListView::SetOwnerDraw(bool v)
{
    FOwnerDraw = v;
    UpdateRowHeight();
    Invalidate();
}

void TListView::SetSmallImages(TImageList* images)
{
    FSmallImages = images;
    if (images)
        images->OnChange = [this](TObject*) {
            UpdateRowHeight();
            Invalidate();
        };
    UpdateRowHeight();
    Invalidate();
}

void TListView::SetSortType(TSortType type)
{
    FSortType = type;
    if (type != stNone)
        AlphaSort();
}

int TListView::RowHeight() const
{
    if (FRowHeight > 0)
        return FRowHeight;
    int h = FontCellHeight(ToQFont(*Font()));
    if (FSmallImages)
        h = std::max(h, FSmallImages->Height());
    if (FCheckboxes)
        h = std::max(h, 16);
    return h + 1;
}

void TListView::SetRowHeight(int height)
{
    FRowHeight = std::max(0, height);
    UpdateRowHeight();
    Invalidate();
}

TListItem* TListView::Selected() const
{
    auto* sm = FView->view->selectionModel();
    if (!sm->hasSelection())
        return nullptr;
    int best = -1;
    for (const QModelIndex& i : sm->selectedRows())
        if (best < 0 || i.row() < best)
            best = i.row();
    if (best < 0 || best >= FItems->Count())
        return nullptr;
    return FItems->Item(best);
}

void TListView::SetSelected(TListItem* item)
{
    auto* sm = FView->view->selectionModel();
    if (!item || item->Index() >= FView->model->Rows) {
        sm->clearSelection();
        return;
    }
    sm->setCurrentIndex(FView->model->index(item->Index(), 0),
                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int TListView::SelCount() const
{
    return int(FView->view->selectionModel()->selectedRows().size());
}

void TListView::ClearSelection()
{
    FView->view->selectionModel()->clearSelection();
}

void TListView::SelectAll()
{
    if (FMultiSelect)
        FView->view->selectAll();
}

TListItem* TListView::ItemFocused() const
{
    const int row = FView->view->currentIndex().row();
    if (row < 0 || row >= FItems->Count())
        return nullptr;
    return FItems->Item(row);
}

void TListView::SetItemFocused(TListItem* item)
{
    if (item)
        item->SetFocused(true);
    else
        FView->view->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

TListItem* TListView::TopItem() const
{
    const int row = FView->view->rowAt(0);
    if (row < 0 || row >= FItems->Count())
        return nullptr;
    return FItems->Item(row);
}

int TListView::VisibleRowCount() const
{
    const int h = RowHeight();
    return h > 0 ? FView->view->viewport()->height() / h : 0;
}

TListItem* TListView::GetItemAt(int x, int y) const
{
    if (x < 0 || x >= FView->view->horizontalHeader()->length() - FView->view->horizontalScrollBar()->value())
        return nullptr;
    const int row = FView->view->rowAt(y);
    if (row < 0 || row >= FItems->Count())
        return nullptr;
    return FItems->Item(row);
}

bool TListView::GetCellAt(int x, int y, int& item, int& column) const
{
    const QModelIndex i = FView->view->indexAt(QPoint(x, y));
    if (!i.isValid() || i.row() >= FItems->Count())
        return false;
    item = i.row();
    column = i.column();
    return true;
}

TRect TListView::CellRect(int item, int column) const
{
    if (item < 0 || item >= FView->model->Rows || column < 0 || column >= FView->model->columnCount(QModelIndex()))
        return {};
    return FromQRect(FView->view->visualRect(FView->model->index(item, column)));
}

int TListView::ColumnLeft(int column) const
{
    return FView->view->columnViewportPosition(column);
}

void TListView::Scroll(int dx, int dy)
{
    if (dx)
        FView->view->horizontalScrollBar()->setValue(FView->view->horizontalScrollBar()->value() + dx);
    if (dy) {
        const int h = std::max(1, RowHeight());
        int rows = dy / h;
        if (rows == 0)
            rows = dy > 0 ? 1 : -1;
        FView->view->verticalScrollBar()->setValue(FView->view->verticalScrollBar()->value() + rows);
    }
}

void TListView::SetSortIndicator(int column, bool descending)
{
    QHeaderView* header = FView->view->horizontalHeader();
    if (column < 0) {
        header->setSortIndicatorShown(false);
        return;
    }
    header->setSortIndicatorShown(true);
    header->setSortIndicator(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TListView::AlphaSort()
{
    if (OnCompare) {
        // One copy for the whole sort: a handler that replaces the event
        // does not end the comparison it runs in.
        CustomSort([this, compare = OnCompare](TListItem* a, TListItem* b) {
            int result = 0;
            compare(this, a, b, 0, result);
            return result;
        });
    } else {
        CustomSort([](TListItem* a, TListItem* b) { return CompareText(a->CaptionRef(), b->CaptionRef()); });
    }
}

namespace {

// Bottom-up merge sort. It only ever compares two elements and takes one of
// them, so it ends after n log n comparisons and never leaves the array
// whatever the comparison answers (a style that calls every pair "greater",
// or one that calls a text equal to everything). Stable: the right element
// goes first only when it is strictly before the left one.
template <class T, class Before>
void MergeSortIndexes(std::vector<T>& items, Before before)
{
    const size_t n = items.size();
    if (n < 2)
        return;
    std::vector<T> merged(n);
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t low = 0; low < n; low += 2 * width) {
            const size_t middle = std::min(low + width, n);
            const size_t high = std::min(low + 2 * width, n);
            size_t left = low, right = middle, out = low;
            while (left < middle && right < high)
                merged[out++] = before(items[right], items[left]) ? items[right++] : items[left++];
            while (left < middle)
                merged[out++] = items[left++];
            while (right < high)
                merged[out++] = items[right++];
        }
        items.swap(merged);
    }
}

}  // namespace

void TListView::CustomSort(const std::function<int(TListItem* a, TListItem* b)>& compare)
{
    auto& items = FItems->FItems;
    SortIndexes([&](int a, int b) { return compare(items[size_t(a)].get(), items[size_t(b)].get()); });
}

void TListView::SortIndexes(const std::function<int(int a, int b)>& compare)
{
    SortEntries(std::vector<std::uint64_t>(size_t(FItems->Count())),
                [&](const TSortEntry& a, const TSortEntry& b) { return compare(a.Index, b.Index); });
}

void TListView::SortEntries(const std::vector<std::uint64_t>& keys,
                            const std::function<int(const TSortEntry& a, const TSortEntry& b)>& compare)
{
    if (FSorting)
        return;  // a comparison handler sorting the same list again
    std::vector<TListItem*> selected;
    for (const QModelIndex& i : FView->view->selectionModel()->selectedRows())
        if (i.row() < FItems->Count())
            selected.push_back(FItems->Item(i.row()));
    TListItem* focused = ItemFocused();
    auto& items = FItems->FItems;
    std::vector<TSortEntry> order(items.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = {i < keys.size() ? keys[i] : 0, int(i)};
    {
        // The items stay where they are until the order is known, so a
        // comparison that throws leaves the list as it was.
        struct Guard {
            bool& flag;
            ~Guard() { flag = false; }
        } guard{FSorting};
        FSorting = true;
        MergeSortIndexes(order, [&](const TSortEntry& a, const TSortEntry& b) { return compare(a, b) < 0; });
    }
    std::vector<std::unique_ptr<TListItem>> sorted;
    sorted.reserve(items.size());
    for (const TSortEntry& entry : order)
        sorted.push_back(std::move(items[size_t(entry.Index)]));
    items.swap(sorted);
    FItems->Renumber(0);
    if (FItems->FUpdateCount > 0) {
        FView->structureDirty = true;
        return;
    }
    FView->model->BeginReset();
    FView->model->Rows = FItems->Count();
    FView->structureDirty = false;
    FView->model->EndReset();
    auto* sm = FView->view->selectionModel();
    const QSignalBlocker block(sm);
    for (TListItem* item : selected)
        sm->select(FView->model->index(item->Index(), 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if (focused)
        sm->setCurrentIndex(FView->model->index(focused->Index(), 0), QItemSelectionModel::NoUpdate);
}

TCanvas* TListView::Canvas() const
{
    return FCanvas.Get(Font());
}

void TListView::PaintRow(int row, const TRect& rect, TOwnerDrawState state, TCanvas* canvas)
{
    if (row < 0 || row >= FItems->Count())
        return;
    FCanvas.Paint(canvas, Font(), Color(), [&] {
        if (state.Contains(odSelected)) {
            canvas->Brush()->SetColor(clHighlight);
            canvas->Font()->SetColor(clHighlightText);
        }
        DrawItem(FItems->Item(row), rect, state);
    });
}

void TListView::DrawItem(TListItem* item, const TRect& rect, TOwnerDrawState state)
{
    if (FireEvent(OnDrawItem, this, item, rect, state))
        return;
    TCanvas* canvas = Canvas();
    canvas->FillRect(rect);
    canvas->TextOut(rect.Left + 2, rect.Top, item->Caption());
}

void TListView::HandleColumnClick(int column)
{
    if (column >= 0 && column < FColumns->Count())
        ColClick(FColumns->Items(column));
}

void TListView::ColClick(TListColumn* column)
{
    FireEvent(OnColumnClick, this, column);
}

void TListView::HandleColumnResized(int column, int width)
{
    if (column < 0 || column >= FColumns->Count())
        return;
    FColumns->Items(column)->FWidth = width;
    if (FView->editor)
        FView->editor->setGeometry(ToQRect(CellRect(FView->editor->Row, FView->editor->Column)));
    ColumnResized(column);
}

void TListView::HandleColumnRightClick(int column)
{
    ColumnRightClick(column);
}

void TListView::HandleSelectionChanged(const std::vector<int>& selected, const std::vector<int>& deselected)
{
    if (FClearing || Destroying())
        return;
    for (int row : deselected) {
        if (row >= FItems->Count())
            continue;
        TListItem* item = FItems->Item(row);
        FireEvent(OnSelectItem, this, item, false);
        Change(item, ctState);
    }
    for (int row : selected) {
        if (row >= FItems->Count())
            continue;
        TListItem* item = FItems->Item(row);
        FireEvent(OnSelectItem, this, item, true);
        Change(item, ctState);
    }
}

void TListView::HandleCheckToggled(int row)
{
    CheckToggled(row);
}

void TListView::Change(TListItem* item, TItemChange change)
{
    FireEvent(OnChange, this, item, change);
}

void TListView::Delete(TListItem* item)
{
    if (OnDeletion && !Destroying())
        FireEvent(OnDeletion, this, item);
}

void TListView::InsertItem(TListItem* item)
{
    FireEvent(OnInsert, this, item);
}

void TListView::ItemChanged(TListItem* item, TItemChange change)
{
    if (FItems->FUpdateCount > 0 || Destroying())
        return;
    FView->model->RowChanged(item->Index());
    if (change == ctState)
        Change(item, change);
}

void TListView::StructureChanged()
{
    TListModel* model = FView->model;
    const int count = FItems->Count();
    if (FView->structureDirty || count < model->Rows) {
        model->BeginReset();
        model->Rows = count;
        FView->structureDirty = false;
        model->EndReset();
    } else if (count > model->Rows) {
        model->BeginInsert(model->Rows, count - 1);
        model->Rows = count;
        model->EndInsert();
    }
    FView->view->viewport()->update();
}

void TListView::ColumnsChanged()
{
    for (int i = 0; i < FColumns->Count(); ++i)
        ApplyColumnWidth(FColumns->Items(i));
}

int TListView::ColumnWidthFromView(const TListColumn* column) const
{
    return FView->view->horizontalHeader()->sectionSize(column->Index());
}

void TListView::ApplyColumnWidth(TListColumn* column)
{
    QHeaderView* header = FView->view->horizontalHeader();
    const int index = column->Index();
    if (index >= header->count())
        return;
    int width = column->FWidth;
    QFontMetrics fm(ToQFont(*Font()));
    if (width == -2) {
        width = fm.horizontalAdvance(ToQString(column->Caption())) + 12;
    } else if (width == -1) {
        width = 0;
        for (int i = 0; i < FItems->Count(); ++i) {
            TListItem* item = FItems->Item(i);
            const CodePageString& s = index == 0 ? item->CaptionRef() : item->SubItemRef(index - 1);
            width = std::max(width, fm.horizontalAdvance(ToQString(s)));
        }
        width += 12;
    }
    FView->applyingWidth = true;
    header->setSectionResizeMode(index, column->FAutoSize ? QHeaderView::Stretch : QHeaderView::Interactive);
    if (!column->FAutoSize)
        header->resizeSection(index, std::max(0, width));
    FView->applyingWidth = false;
    if (width >= 0)
        column->FWidth = width;
}

void TListView::ApplyFont()
{
    TWinControl::ApplyFont();
    if (FView && FView->view) {
        UpdateRowHeight();
        FCanvas.FontChanged(Font());
    }
}

void TListView::ApplyColor()
{
    QWidget* w = OwnWidget();
    if (!w)
        return;
    QPalette pal = w->palette();
    if (FView && !FView->background.isNull())
        pal.setBrush(QPalette::Base, QBrush(FView->background));
    else
        pal.setColor(QPalette::Base, ToQColor(Color()));
    w->setPalette(pal);
}
