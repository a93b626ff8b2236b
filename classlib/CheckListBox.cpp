#include "classlib/CheckListBox.h"

#include <QListWidget>

#include "classlib/QtBridge.h"

namespace {

Qt::CheckState ToQtState(int state)
{
    return state == cbChecked ? Qt::Checked : state == cbGrayed ? Qt::PartiallyChecked : Qt::Unchecked;
}

}  // namespace

TCheckListBox::TCheckListBox(TComponent* AOwner) : TCustomListBox(AOwner)
{
    auto* list = static_cast<QListWidget*>(OwnWidget());
    ConnectControl(this, list, &QListWidget::itemChanged, [this, list](QListWidgetItem* item) {
        if (FShowing || Destroying())
            return;
        const int row = list->row(item);
        SafeCall([&] { HandleItemChanged(row); });
    });
}

TCheckListBox::~TCheckListBox()
{
    SetDestroying();
}

void TCheckListBox::ShowLine(int index)
{
    auto* list = static_cast<QListWidget*>(OwnWidget());
    QListWidgetItem* item = list->item(index);
    if (!item)
        return;
    const auto& line = Lines()->LineAt(index);
    FShowing = true;
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
    if (line.enabled)
        flags |= Qt::ItemIsEnabled;
    if (FAllowGrayed)
        flags |= Qt::ItemIsUserTristate;
    item->setFlags(flags);
    item->setCheckState(ToQtState(line.state));
    FShowing = false;
}

void TCheckListBox::LineInserted(int index)
{
    ShowLine(index);
}

void TCheckListBox::LineChanged(int index)
{
    ShowLine(index);
}

TCheckBoxState TCheckListBox::State(int index) const
{
    return TCheckBoxState(Lines()->LineAt(index).state);
}

void TCheckListBox::SetState(int index, TCheckBoxState state)
{
    Lines()->LineAt(index).state = state;
    ShowLine(index);
}

bool TCheckListBox::ItemEnabled(int index) const
{
    return Lines()->LineAt(index).enabled;
}

void TCheckListBox::SetItemEnabled(int index, bool enabled)
{
    Lines()->LineAt(index).enabled = enabled;
    ShowLine(index);
}

void TCheckListBox::HandleItemChanged(int index)
{
    if (index < 0 || index >= Lines()->Count())
        return;
    auto* list = static_cast<QListWidget*>(OwnWidget());
    const Qt::CheckState s = list->item(index)->checkState();
    const int state = s == Qt::Checked ? cbChecked : s == Qt::PartiallyChecked ? cbGrayed : cbUnchecked;
    auto& line = Lines()->LineAt(index);
    if (line.state == state)
        return;
    line.state = state;
    ClickCheck();
}

void TCheckListBox::ClickCheck()
{
    FireEvent(OnClickCheck, this);
}
