// A readable dump of a built document: one line per section, table rows and
// cells indented under their table, each text section with its characters
// (images as {img}, controls as {ctl}) and its font runs, then the images,
// controls, anchors and maps. Tests compare it with the dump they expect.
#pragma once

#include <sstream>
#include <string>

#include "htmlview/HtmlBuild.h"
#include "htmlview/HtmlDocument.h"
#include "htmlview/HtmlForms.h"
#include "htmlview/HtmlTables.h"
#include "htmlview/HtmlTextSection.h"

namespace modeldump {

inline std::string Hex(TColor color)
{
    char text[16];
    const TColor rgb = color & 0xFFFFFF;
    std::snprintf(text, sizeof text, "#%02X%02X%02X", GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
    return text;
}

inline const char* JustifyName(TJustify j)
{
    switch (j) {
    case jCentre: return "centre";
    case jRight: return "right";
    case jNone: return "none";
    default: return "left";
    }
}

inline std::string Chars(const CodePageString& buff)
{
    std::string out;
    for (char c : buff) {
        if (c == ImagePlaceholder)
            out += "{img}";
        else if (c == ControlPlaceholder)
            out += "{ctl}";
        else if (static_cast<unsigned char>(c) == 160)
            out += "{nbsp}";
        else
            out += c;
    }
    return out;
}

inline std::string Run(const TSectionList& root, const TFontObj& run)
{
    const TMyFont& f = *run.TheFont;
    std::ostringstream out;
    out << "@" << run.Pos << " " << f.Name() << " " << f.NormalSize;
    const TFontStyles st = f.Style();
    if (st.Contains(fsBold))
        out << " b";
    if (st.Contains(fsItalic))
        out << " i";
    if (st.Contains(fsUnderline))
        out << " u";
    if (st.Contains(fsStrikeOut))
        out << " s";
    if (f.Fixed)
        out << " fixed";
    if (run.SScript == SubScript)
        out << " sub";
    if (run.SScript == SuperScript)
        out << " sup";
    if ((f.Color() & 0xFFFFFF) != (root.FontColor & 0xFFFFFF))
        out << " " << Hex(f.Color());
    if (!run.UrlTarget.URL.empty())
        out << " link=" << run.UrlTarget.URL;
    if (!run.UrlTarget.Target.empty())
        out << " target=" << run.UrlTarget.Target;
    return out.str();
}

inline std::string ControlKind(const TFormControlObj* c)
{
    if (dynamic_cast<const TComboFormControlObj*>(c))
        return "combo";
    if (dynamic_cast<const TListBoxFormControlObj*>(c))
        return "listbox";
    if (dynamic_cast<const TEditFormControlObj*>(c))
        return "edit";
    if (dynamic_cast<const TButtonFormControlObj*>(c))
        return "button";
    if (dynamic_cast<const TRadioButtonFormControlObj*>(c))
        return "radio";
    if (dynamic_cast<const TCheckBoxFormControlObj*>(c))
        return "checkbox";
    if (dynamic_cast<const TTextAreaFormControlObj*>(c))
        return "textarea";
    if (dynamic_cast<const THiddenFormControlObj*>(c))
        return "hidden";
    if (dynamic_cast<const TImageFormControlObj*>(c))
        return "image";
    return "?";
}

void Cell(std::ostream& out, const TSectionList& root, const TCell& cell, const std::string& indent);

inline void Section(std::ostream& out, const TSectionList& root, const TSectionBase* s, const std::string& indent)
{
    if (auto* table = dynamic_cast<const ThtmlTable*>(s)) {
        out << indent << "table " << JustifyName(table->Justify) << (table->Float ? " float" : "");
        if (table->WidthAttr)
            out << " width=" << table->WidthAttr << (table->AsPercent ? "/1000" : "px");
        if (table->Border)
            out << " border";
        out << " pad=" << table->CellPadding << " space=" << table->CellSpacing;
        if (table->BackFilled)
            out << " bg=" << Hex(table->BackColor);
        out << "\n";
        if (!table->Caption->Cell->Empty()) {
            out << indent << "  caption " << (table->TopCaption ? "top" : "bottom") << "\n";
            Cell(out, root, *table->Caption->Cell, indent + "    ");
        }
        for (const auto& row : table->Rows) {
            out << indent << "  row" << (row->BackFilled ? " bg=" + Hex(row->BackColor) : "") << "\n";
            for (const auto& cell : *row) {
                out << indent << "    cell";
                if (cell->ColSpan != 1)
                    out << " colspan=" << cell->ColSpan;
                if (cell->RowSpan != 1)
                    out << " rowspan=" << cell->RowSpan;
                out << " valign=" << cell->VAlign;
                if (cell->AskedWidth)
                    out << " width=" << cell->AskedWidth << (cell->AsPercent ? "/1000" : "px");
                if (cell->Cell->BackFilled)
                    out << " bg=" << Hex(cell->Cell->BackColor);
                out << "\n";
                Cell(out, root, *cell->Cell, indent + "      ");
            }
        }
        return;
    }
    if (dynamic_cast<const TParagraphSpace*>(s)) {
        out << indent << "paragraph-space\n";
        return;
    }
    if (auto* h = dynamic_cast<const THeadingSpace*>(s)) {
        out << indent << "heading-space " << h->HeadingLevel << "\n";
        return;
    }
    if (auto* hr = dynamic_cast<const THorzLine*>(s)) {
        out << indent << "hr size=" << hr->VSize;
        if (hr->HWidth >= 0)
            out << " width=" << hr->HWidth << (hr->Percent ? "%" : "px");
        if (hr->HasColor)
            out << " color=" << Hex(hr->Color);
        if (hr->NoShade)
            out << " noshade";
        out << " " << JustifyName(hr->Align) << "\n";
        return;
    }
    auto* sec = dynamic_cast<const TSection*>(s);
    if (!sec) {
        out << indent << "?\n";
        return;
    }
    out << indent;
    if (dynamic_cast<const TPreFormated*>(sec))
        out << "pre";
    else if (auto* ol = dynamic_cast<const TOListItem*>(sec))
        out << "ol-item type=" << ol->ListChar << " n=" << ol->ListNumber;
    else if (dynamic_cast<const TDListItem*>(sec))
        out << "dl-item";
    else if (auto* ul = dynamic_cast<const TUListItem*>(sec))
        out << (ul->NoBullet ? "ul-item plain" : "ul-item");
    else
        out << "text";
    out << " L" << sec->ListLevel << " " << JustifyName(sec->Justify);
    if (sec->ClearAttr)
        out << " clear=" << int(sec->ClearAttr);
    out << " \"" << Chars(sec->Buff) << "\"\n";
    for (const auto& run : sec->Fonts)
        out << indent << "  " << Run(root, *run) << "\n";
    for (const auto& img : sec->Images) {
        out << indent << "  img @" << img->Pos << " src=" << img->Source;
        if (!img->Alt.empty())
            out << " alt=" << img->Alt;
        if (img->GivenWidth)
            out << " w=" << img->GivenWidth << (img->PercentWidth ? "%" : "");
        if (img->GivenHeight)
            out << " h=" << img->GivenHeight;
        out << " align=" << int(img->VertAlign) << "\n";
    }
    for (const TFormControlObj* c : sec->FormControls) {
        out << indent << "  " << ControlKind(c) << " @" << c->Pos << " name=" << c->Name;
        if (!c->Value.empty())
            out << " value=" << c->Value;
        if (auto* list = dynamic_cast<const TListBoxFormControlObj*>(c))
            for (int i = 0; i < list->Options.Count(); ++i)
                out << " [" << list->Options.Strings(i) << "=" << list->Option(i)->Value
                    << (list->Option(i)->Selected ? " selected" : "") << "]";
        if (auto* area = dynamic_cast<const TTextAreaFormControlObj*>(c))
            for (int i = 0; i < area->InitialLines.Count(); ++i)
                out << " |" << area->InitialLines.Strings(i);
        out << "\n";
    }
}

inline void Cell(std::ostream& out, const TSectionList& root, const TCell& cell, const std::string& indent)
{
    for (const auto& s : cell)
        Section(out, root, s.get(), indent);
}

// The whole document; anchors name the index of their section in the dump's
// order of text sections.
inline std::string Dump(const TSectionList& root, const TStringList* anchors = nullptr,
                        const THtmlParseInfo* info = nullptr)
{
    std::ostringstream out;
    if (info && !info->TitleText.empty())
        out << "title \"" << info->TitleText << "\"\n";
    if (info && !info->BaseHRef.empty())
        out << "base " << info->BaseHRef << "\n";
    if (info && !info->BaseFrameTarget.empty())
        out << "base-target " << info->BaseFrameTarget << "\n";
    if ((root.Background & 0xFFFFFF) != 0xFFFFFF)
        out << "background " << Hex(root.Background) << "\n";
    if (!root.BitmapName.empty())
        out << "background-image " << root.BitmapName << "\n";
    if ((root.FontColor & 0xFFFFFF) != 0)
        out << "text " << Hex(root.FontColor) << "\n";
    if ((root.HotSpotColor & 0xFFFFFF) != 0xFF0000)
        out << "link " << Hex(root.HotSpotColor) << "\n";
    Cell(out, root, root, "");
    if (anchors) {
        for (int i = 0; i < anchors->Count(); ++i) {
            const auto* target = static_cast<const TSection*>(anchors->Objects(i));
            out << "anchor " << anchors->Strings(i) << " -> \"" << (target ? Chars(target->Buff) : "?") << "\"\n";
        }
    }
    for (const auto& map : root.MapList)
        out << "map " << map->MapTitle << " areas=" << map->AreaCount() << "\n";
    int forms = 0;
    for (const auto& form : const_cast<TSectionList&>(root).FormList()) {
        out << "form " << forms++ << " method=" << form->Method;
        if (!form->Action.empty())
            out << " action=" << form->Action;
        out << " controls=" << form->Controls.Count() << "\n";
    }
    return out.str();
}

}  // namespace modeldump
