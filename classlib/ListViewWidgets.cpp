#include "classlib/ListViewWidgets.h"

#include <QEvent>
#include <QFocusEvent>
#include <QIcon>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionHeader>

#include "classlib/ImgList.h"
#include "classlib/ListView.h"
#include "classlib/QtBridge.h"

QVariant TListModel::data(const QModelIndex& index, int role) const
{
    TListItems* items = FListView->Items();
    const int row = index.row();
    if (!index.isValid() || row < 0 || row >= items->Count())
        return {};
    TListItem* item = items->Item(row);
    const int col = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return ToQString(col == 0 ? item->CaptionRef() : item->SubItemRef(col - 1));
    case Qt::AccessibleTextRole:
        return ToQString(FListView->CellAccessibleText(row, col));
    case Qt::CheckStateRole:
        if (col == 0 && FListView->Checkboxes())
            return item->Checked() ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::DecorationRole: {
        if (FListView->OwnerDraw())
            return {};
        const int image = col == 0 ? item->ImageIndex() : item->SubItemImages(col - 1);
        if (image < 0 || !FListView->SmallImages())
            return {};
        if (const TBitmap* bmp = FListView->SmallImages()->Image(image))
            return QPixmap::fromImage(bmp->Image().image);
        return {};
    }
    case Qt::TextAlignmentRole: {
        TAlignment a = taLeftJustify;
        if (col < FListView->Columns()->Count())
            a = FListView->Columns()->Items(col)->Alignment();
        const int h = a == taRightJustify ? Qt::AlignRight : a == taCenter ? Qt::AlignHCenter : Qt::AlignLeft;
        return int(h | Qt::AlignVCenter);
    }
    default:
        return {};
    }
}

QVariant TListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    TListColumns* cols = FListView->Columns();
    if (section < 0 || section >= cols->Count())
        return {};
    if (role == Qt::DisplayRole)
        return ToQString(cols->Items(section)->Caption());
    if (role == Qt::TextAlignmentRole) {
        const TAlignment a = cols->Items(section)->Alignment();
        const int h = a == taRightJustify ? Qt::AlignRight : a == taCenter ? Qt::AlignHCenter : Qt::AlignLeft;
        return int(h | Qt::AlignVCenter);
    }
    return {};
}

Qt::ItemFlags TListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == 0 && FListView->Checkboxes() && !FListView->OwnerDraw())
        f |= Qt::ItemIsUserCheckable;
    return f;
}

bool TListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= FListView->Items()->Count())
        return false;
    TListItem* item = FListView->Items()->Item(index.row());
    const bool checked = value.toInt() == Qt::Checked;
    if (checked != item->Checked()) {
        SafeCall([&] {
            item->SetChecked(checked);
            FListView->HandleCheckToggled(index.row());
        });
    }
    return true;
}

void TListModel::RowChanged(int row)
{
    if (row < Rows)
        emit dataChanged(index(row, 0), index(row, std::max(1, Cols) - 1));
}

QSize TListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    s.setHeight(FListView->RowHeight());
    return s;
}

bool TListDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                const QModelIndex& index)
{
    if (FListView->OwnerDraw())
        return false;
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

void TListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (!FListView->OwnerDraw()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    if (auto* view = dynamic_cast<const TListTableView*>(option.widget))
        view->PaintOwnerDrawnCell(painter, option, index.row());
}

TListTableView::TListTableView(TListView* lv)
    : FListView(lv)
{
    FHover.setSingleShot(true);
    QObject::connect(&FHover, &QTimer::timeout, this, [this] {
        if (viewport()->rect().contains(FHoverAt))
            SafeCall([&] { FListView->HandleToolTip(FHoverAt.x(), FHoverAt.y()); });
    });
}

void TListTableView::PaintOwnerDrawnCell(QPainter* painter, const QStyleOptionViewItem& option, int row) const
{
    const QRect rowRect(-horizontalOffset(), option.rect.y(), horizontalHeader()->length(), rowHeight(row));
    TOwnerDrawState state;
    if (selectionModel() && selectionModel()->isRowSelected(row, QModelIndex()))
        state << odSelected;
    if (currentIndex().row() == row && hasFocus())
        state << odFocused;
    if (!isEnabled())
        state << odDisabled;
    const QRect clip = option.rect.intersected(viewport()->rect());
    if (clip.isEmpty())
        return;
    painter->save();
    {
        TQtCanvas canvas(painter, FromQRect(clip));
        SafeCall([&] { FListView->PaintRow(row, FromQRect(rowRect), state, &canvas); });
    }
    painter->restore();
}

bool TListTableView::viewportEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::ToolTip:
        return true;  // the list's own hints stand in for the toolkit's
    case QEvent::MouseMove:
        FHoverAt = static_cast<QMouseEvent*>(event)->position().toPoint();
        FHover.start(FHoverTime);
        break;
    case QEvent::MouseButtonPress:
    case QEvent::Leave:
        FHover.stop();
        SafeCall([&] { FListView->HideHintWindow(); });
        break;
    default:
        break;
    }
    return QTableView::viewportEvent(event);
}

void TListTableView::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    if (dy != 0)
        SafeCall([&] { FListView->HandleScrolled(); });
}

TListHeader::TListHeader(TListView* lv, QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent), FListView(lv)
{
    FFilterTimer.setSingleShot(true);
    QObject::connect(&FFilterTimer, &QTimer::timeout, this, [this] {
        const std::set<int> columns = std::move(FPendingFilters);
        FPendingFilters.clear();
        for (int column : columns)
            SafeCall([&] { FListView->HandleFilterChanged(column); });
    });
    QObject::connect(this, &QHeaderView::sectionResized, this, [this] { PlaceFilters(); });
    QObject::connect(this, &QHeaderView::sectionMoved, this, [this] { PlaceFilters(); });
    QObject::connect(this, &QHeaderView::sectionCountChanged, this, [this] { SyncFilters(); });
    QObject::connect(this, &QHeaderView::geometriesChanged, this, [this] { PlaceFilters(); });
}

void TListHeader::SetFilterBar(bool on)
{
    FFilterOn = on;
    SyncFilters();
    Relayout();
}

void TListHeader::SetFixedHeight(int pixels)
{
    FFixedHeight = std::max(0, pixels);
    Relayout();
}

QString TListHeader::FilterText(int column) const
{
    return column >= 0 && column < int(FEdits.size()) ? FEdits[size_t(column)]->text() : QString();
}

void TListHeader::SetFilterText(int column, const QString& text)
{
    SyncFilters();
    if (column >= 0 && column < int(FEdits.size()))
        FEdits[size_t(column)]->setText(text);
}

QLineEdit* TListHeader::FilterEdit(int column) const
{
    return column >= 0 && column < int(FEdits.size()) ? FEdits[size_t(column)] : nullptr;
}

QToolButton* TListHeader::FilterButton(int column) const
{
    return column >= 0 && column < int(FButtons.size()) ? FButtons[size_t(column)] : nullptr;
}

QSize TListHeader::sizeHint() const
{
    QSize s = QHeaderView::sizeHint();
    if (FFixedHeight > 0)
        s.setHeight(FFixedHeight);
    if (FFilterOn)
        s.rheight() += FilterRowHeight;
    return s;
}

void TListHeader::initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const
{
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    TListColumns* columns = FListView->Columns();
    if (logicalIndex < 0 || logicalIndex >= columns->Count())
        return;
    const TListColumn* column = columns->Items(logicalIndex);
    const TBitmap* picture = column->HeaderBitmap();
    if ((!picture || picture->Empty()) && FListView->HeaderImages() && column->ImageIndex() >= 0)
        picture = FListView->HeaderImages()->Image(column->ImageIndex());
    if (!picture || picture->Empty())
        return;
    option->icon = QIcon(QPixmap::fromImage(picture->Image().image));
    option->iconAlignment = (column->ImageOnRight() ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

void TListHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    QRect label = rect;
    if (FFilterOn) {
        label.setHeight(std::max(0, rect.height() - FilterRowHeight));
        painter->fillRect(QRect(rect.x(), label.bottom() + 1, rect.width(), FilterRowHeight),
                          palette().brush(QPalette::Button));
    }
    TListColumns* columns = FListView->Columns();
    if (logicalIndex >= 0 && logicalIndex < columns->Count() && columns->Items(logicalIndex)->HeaderOwnerDraw()) {
        const bool pressed = FPressed == logicalIndex;
        painter->save();
        {
            TQtCanvas canvas(painter, FromQRect(label));
            SafeCall([&] { FListView->HandlePaintHeaderItem(logicalIndex, FromQRect(label), pressed, &canvas); });
        }
        painter->restore();
        return;
    }
    QHeaderView::paintSection(painter, label, logicalIndex);
}

void TListHeader::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const int x = event->position().toPoint().x();
        const int handle = HandleAt(x);
        if (handle >= 0 && sectionResizeMode(handle) == QHeaderView::Interactive) {
            bool allow = true;
            SafeCall([&] { allow = FListView->HandleColumnTrackStart(handle); });
            if (!allow) {
                event->accept();
                return;
            }
            FTracking = handle;
        } else {
            FPressed = logicalIndexAt(x);
        }
    }
    QHeaderView::mousePressEvent(event);
}

void TListHeader::mouseReleaseEvent(QMouseEvent* event)
{
    QHeaderView::mouseReleaseEvent(event);
    FPressed = -1;
    if (FTracking >= 0) {
        const int column = FTracking;
        FTracking = -1;
        SafeCall([&] { FListView->HandleColumnTrackEnd(column); });
    }
}

void TListHeader::resizeEvent(QResizeEvent* event)
{
    QHeaderView::resizeEvent(event);
    PlaceFilters();
}

int TListHeader::HandleAt(int x) const
{
    const int visual = visualIndexAt(x);
    if (visual < 0)
        return -1;
    const int logical = logicalIndex(visual);
    const int start = sectionViewportPosition(logical);
    const int grip = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
    if (x > start + sectionSize(logical) - grip)
        return logical;
    if (x < start + grip)
        for (int v = visual - 1; v >= 0; --v)
            if (!isSectionHidden(logicalIndex(v)))
                return logicalIndex(v);
    return -1;
}

void TListHeader::Relayout()
{
    updateGeometry();
    if (auto* view = dynamic_cast<TListTableView*>(parentWidget()))
        view->RefreshGeometries();
    PlaceFilters();
    viewport()->update();
}

void TListHeader::SyncFilters()
{
    const size_t wanted = FFilterOn ? size_t(count()) : 0;
    while (FEdits.size() > wanted) {
        delete FEdits.back();
        delete FButtons.back();
        FEdits.pop_back();
        FButtons.pop_back();
    }
    while (FEdits.size() < wanted) {
        const int column = int(FEdits.size());
        auto* edit = new QLineEdit(viewport());
        edit->setFrame(true);
        QObject::connect(edit, &QLineEdit::textEdited, this, [this, column] {
            FPendingFilters.insert(column);
            FFilterTimer.start(FFilterTimeOut);
        });
        auto* button = new QToolButton(viewport());
        button->setArrowType(Qt::DownArrow);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        QObject::connect(button, &QToolButton::clicked, this,
                         [this, column] { SafeCall([&] { FListView->HandleFilterButton(column); }); });
        FEdits.push_back(edit);
        FButtons.push_back(button);
    }
    PlaceFilters();
}

void TListHeader::PlaceFilters()
{
    const int top = height() - FilterRowHeight;
    for (size_t i = 0; i < FEdits.size(); ++i) {
        const int logical = int(i);
        const bool shown = logical < count() && !isSectionHidden(logical) && sectionSize(logical) > 0;
        FEdits[i]->setVisible(shown);
        FButtons[i]->setVisible(shown);
        if (!shown)
            continue;
        const int x = sectionViewportPosition(logical);
        const int w = sectionSize(logical);
        const int button = std::min(16, std::max(0, w - 4));
        FEdits[i]->setGeometry(x + 1, top + 1, std::max(0, w - button - 3), FilterRowHeight - 2);
        FButtons[i]->setGeometry(x + w - button - 1, top + 1, button, FilterRowHeight - 2);
    }
}

TCellEditor::TCellEditor(TListView* lv, QWidget* parent, int row, int column)
    : QPlainTextEdit(parent), Row(row), Column(column), FListView(lv)
{
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    document()->setDocumentMargin(1);
}

void TCellEditor::Finish(bool keep)
{
    if (Done)
        return;
    Done = true;
    SafeCall([&] { FListView->HandleCellEditDone(keep); });
}

void TCellEditor::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !(event->modifiers() & Qt::ShiftModifier)) {
        Finish(true);
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        Finish(false);
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TCellEditor::focusOutEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason)
        Finish(true);
}

TListViewImpl::~TListViewImpl()
{
    delete hint.data();  // a window of its own, not a child of the view
}
