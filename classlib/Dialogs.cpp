#include "classlib/Dialogs.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QStringList>

#include "classlib/Files.h"
#include "classlib/QtBridge.h"

std::function<bool(TOpenDialog& dialog)>& FileDialogHook()
{
    static std::function<bool(TOpenDialog&)> hook;
    return hook;
}

namespace {

// "Html Document|*.htm;*.html" becomes "Html Document (*.htm *.html)".
QStringList NameFilters(const CodePageString& filter)
{
    QStringList out;
    std::vector<CodePageString> parts;
    size_t start = 0;
    for (;;) {
        const size_t bar = filter.find('|', start);
        parts.push_back(filter.substr(start, bar == CodePageString::npos ? CodePageString::npos : bar - start));
        if (bar == CodePageString::npos)
            break;
        start = bar + 1;
    }
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        CodePageString masks = parts[i + 1];
        for (char& c : masks)
            if (c == ';')
                c = ' ';
        out << ToQString(parts[i]) + " (" + ToQString(masks) + ")";
    }
    return out;
}

}  // namespace

bool TOpenDialog::Execute()
{
    if (auto& hook = FileDialogHook())
        return hook(*this);
    EnsureToolkit();
    if (QGuiApplication::platformName() == "offscreen")
        return false;  // nobody could answer
    QFileDialog dialog(nullptr, ToQString(Title), ToQString(PathFromWindows(InitialDir)));
    dialog.setAcceptMode(Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = NameFilters(Filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        if (FilterIndex >= 1 && FilterIndex <= filters.size())
            dialog.selectNameFilter(filters[FilterIndex - 1]);
    }
    if (!DefaultExt.empty())
        dialog.setDefaultSuffix(ToQString(DefaultExt));
    if (!FileName.empty())
        dialog.selectFile(ToQString(FileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    FileName = FromQString(dialog.selectedFiles().front());
    return true;
}
