#include "classlib/BasicControls.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPaintEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>

#include "classlib/Forms.h"
#include "classlib/Menus.h"
#include "classlib/QtBridge.h"

namespace {

// The most characters a one-line edit holds when it sets no limit of its own.
constexpr int EditLengthLimit = 32767;

// Text of a multi-line control: CR LF, LF and CR all end a line, which
// the control holds as one LF.
CodePageString LineFeedsOnly(const CodePageString& text)
{
    CodePageString lf;
    lf.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            lf.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            lf.push_back(text[i]);
        }
    }
    return lf;
}

QString ToPlainLines(const CodePageString& text)
{
    return ToQString(LineFeedsOnly(text));
}

CodePageString FromPlainLines(const QString& text)
{
    CodePageString bytes = FromQString(text);
    CodePageString out;
    out.reserve(bytes.size() + bytes.size() / 16);
    for (char c : bytes) {
        if (c == '\n')
            out += "\r\n";
        else
            out.push_back(c);
    }
    return out;
}

void SetBaseColor(QWidget* w, TColor color)
{
    if (!w)
        return;
    QPalette pal = w->palette();
    pal.setColor(QPalette::Base, ToQColor(color));
    w->setPalette(pal);
}

// The size of a label's lines in a font: the widest line, and a cell per
// line. Labels measure again whenever their text, font or parent changes,
// and most share their font and many their caption, so sizes are kept by
// font and text. Bounded, for labels that show ever-changing counts.
TSize MeasureLines(const TFont& font, const CodePageString& text)
{
    static std::unordered_map<std::string, TSize> measured;
    // Keyed by the font as the toolkit takes it, so every setting it reads counts.
    const QFont qfont = ToQFont(font);
    std::string key = qfont.key().toStdString();
    key += '\0';
    key += text;
    if (auto found = measured.find(key); found != measured.end())
        return found->second;
    const QFontMetrics fm(qfont);
    int widest = 0, lines = 0;
    for (const QString& line : ToQString(text).split('\n')) {
        widest = std::max(widest, fm.horizontalAdvance(line));
        ++lines;
    }
    const TSize size{widest, FontCellHeight(qfont) * std::max(1, lines)};
    if (measured.size() >= 2048)
        measured.clear();
    measured.emplace(std::move(key), size);
    return size;
}

[[noreturn]] void IndexError(int index)
{
    throw EListError("List index out of bounds (" + IntToStr(index) + ")");
}

}  // namespace

// --- TLabel ----------------------------------------------------------------------------------------

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner)
{
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setContentsMargins(0, 0, 0, 0);
    label->setIndent(0);
    label->setMargin(0);
    AttachWidget(label);
    SetBounds(0, 0, 32, 13);
    SetSizeFollowsText(FAutoSize);
    AdjustSize();
}

void TLabel::ApplyText()
{
    auto* label = static_cast<QLabel*>(OwnWidget());
    const bool mnemonic = FShowAccelChar && FFocusControl;
    label->setTextFormat(Qt::PlainText);
    label->setText(ToQString(mnemonic || !FShowAccelChar ? FText : StripHotkey(FText)));
    if (FlushingText())
        AdjustSize();
}

void TLabel::ApplyFont()
{
    TControl::ApplyFont();
    AdjustSize();
}

void TLabel::ApplyColor()
{
    QWidget* w = OwnWidget();
    if (!w)
        return;
    const bool fill = !FTransparent && !ParentColor();
    w->setAutoFillBackground(fill);
    if (fill) {
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, ToQColor(Color()));
        w->setPalette(pal);
    }
}

void TLabel::ApplyEnabled()
{
    TControl::ApplyEnabled();
}

void TLabel::ApplyAlignment()
{
    auto* label = static_cast<QLabel*>(OwnWidget());
    Qt::Alignment h = FAlignment == taRightJustify ? Qt::AlignRight
                      : FAlignment == taCenter     ? Qt::AlignHCenter
                                                   : Qt::AlignLeft;
    Qt::Alignment v = FLayout == tlCenter ? Qt::AlignVCenter : FLayout == tlBottom ? Qt::AlignBottom : Qt::AlignTop;
    label->setAlignment(h | v);
}

void TLabel::SetAlignment(TAlignment a)
{
    FAlignment = a;
    ApplyAlignment();
}

void TLabel::SetLayout(TTextLayout layout)
{
    FLayout = layout;
    ApplyAlignment();
}

void TLabel::SetAutoSize(bool v)
{
    FAutoSize = v;
    SetSizeFollowsText(v);
    AdjustSize();
}

void TLabel::SetWordWrap(bool v)
{
    FWordWrap = v;
    static_cast<QLabel*>(OwnWidget())->setWordWrap(v);
    AdjustSize();
}

void TLabel::SetTransparent(bool v)
{
    FTransparent = v;
    ApplyColor();
}

void TLabel::SetShowAccelChar(bool v)
{
    FShowAccelChar = v;
    ApplyText();
    AdjustSize();
}

void TLabel::SetFocusControl(TWinControl* control)
{
    FFocusControl = control;
    static_cast<QLabel*>(OwnWidget())->setBuddy(control ? WidgetOf(control) : nullptr);
    ApplyText();
}

void TLabel::AdjustSize()
{
    if (!FAutoSize || !OwnWidget())
        return;
    CodePageString text = FShowAccelChar ? StripHotkey(FText) : FText;
    if (text.empty())
        text = " ";
    int w, h;
    if (FWordWrap) {
        const QFontMetrics fm(ToQFont(*Font()));
        const QRect r = fm.boundingRect(QRect(0, 0, std::max(1, Width()), 100000), Qt::TextWordWrap, ToQString(text));
        w = Width();
        h = r.height();
    } else {
        const TSize size = MeasureLines(*Font(), text);
        w = size.cx;
        h = size.cy;
    }
    int left = Left();
    if (FAlignment == taRightJustify)
        left = Left() + Width() - w;
    else if (FAlignment == taCenter)
        left = Left() + (Width() - w) / 2;
    SetBounds(left, Top(), w, h);
}

// --- TCustomEdit ---------------------------------------------------------------------------------------

void TCustomEdit::ApplyColor()
{
    SetBaseColor(OwnWidget(), Color());
}

void TCustomEdit::Change()
{
    FireEvent(OnChange, this);
}

// --- TEdit ---------------------------------------------------------------------------------------------

TEdit::~TEdit()
{
    SetDestroying();
}

TEdit::TEdit(TComponent* AOwner) : TCustomEdit(AOwner)
{
    auto* edit = new QLineEdit;
    ConnectControl(this, edit, &QLineEdit::textChanged, [this](const QString&) {
        FAppliedValid = false;
        // A text kept back sent its change notice when it was set.
        if (!Destroying() && !FlushingText())
            SafeCall([this] { Change(); });
    });
    ConnectControl(this, edit, &QLineEdit::textEdited, [this, edit](const QString& text) {
        FModified = true;
        if (FCharCase != ecNormal) {
            const QString converted = FCharCase == ecUpperCase ? text.toUpper() : text.toLower();
            if (converted != text) {
                const int pos = edit->cursorPosition();
                edit->setText(converted);
                edit->setCursorPosition(pos);
            }
        }
    });
    AttachWidget(edit);
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
    ApplyColor();
    SetBounds(0, 0, 121, 21);
}

CodePageString TEdit::GetText() const
{
    if (TextPending())
        return ShownText(FText);
    return FromQString(static_cast<QLineEdit*>(OwnWidget())->text());
}

CodePageString TEdit::ShownText(const CodePageString& text) const
{
    CodePageString shown = FCharCase == ecUpperCase ? UpperCase(text)
                           : FCharCase == ecLowerCase ? LowerCase(text)
                                                      : text;
    const std::size_t limit = static_cast<std::size_t>(FMaxLength > 0 ? FMaxLength : EditLengthLimit);
    if (shown.size() > limit)
        shown.resize(limit);
    return shown;
}

void TEdit::TextKeptBack(const CodePageString& shownBefore)
{
    // As the window would tell of the text it takes: only a different one.
    if (GetText() != shownBefore)
        SafeCall([this] { Change(); });
}

void TEdit::ApplyText()
{
    auto* edit = static_cast<QLineEdit*>(OwnWidget());
    const CodePageString text = ShownText(FText);
    // A text the program sets shows from its first character, the cursor
    // before it, as after the user's first look at the field; the toolkit
    // would leave the cursor at the end and scroll a long text's start away.
    // The window holding it already, unedited, only has its cursor put back.
    if (FAppliedValid && FAppliedText == text) {
        edit->setCursorPosition(0);
        return;
    }
    FSettingText = true;
    edit->setText(ToQString(text));
    edit->setCursorPosition(0);
    FSettingText = false;
    FAppliedText = text;
    FAppliedValid = FromQString(edit->text()) == text;
}

void TEdit::SetMaxLength(int n)
{
    auto* edit = static_cast<QLineEdit*>(OwnWidget());
    FMaxLength = n;
    edit->setMaxLength(n > 0 ? n : EditLengthLimit);
}

void TEdit::SetReadOnly(bool v)
{
    FReadOnly = v;
    static_cast<QLineEdit*>(OwnWidget())->setReadOnly(v);
}

void TEdit::SetPasswordChar(char c)
{
    FPasswordChar = c;
    static_cast<QLineEdit*>(OwnWidget())->setEchoMode(c ? QLineEdit::Password : QLineEdit::Normal);
}

void TEdit::SetCharCase(TEditCharCase c)
{
    TControl::FlushText();  // a text kept back goes in as it was set
    FCharCase = c;
    if (c != ecNormal)
        SetText(GetText());
}

void TEdit::SetBorderStyle(TBorderStyle style)
{
    FBorderStyle = style;
    static_cast<QLineEdit*>(OwnWidget())->setFrame(style != bsNone);
}

int TEdit::SelStart() const
{
    auto* edit = static_cast<QLineEdit*>(OwnWidget());
    return edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
}

void TEdit::SetSelStart(int start)
{
    auto* edit = static_cast<QLineEdit*>(OwnWidget());
    edit->deselect();
    edit->setCursorPosition(start);
}

int TEdit::SelLength() const
{
    return int(static_cast<QLineEdit*>(OwnWidget())->selectedText().size());
}

void TEdit::SetSelLength(int length)
{
    auto* edit = static_cast<QLineEdit*>(OwnWidget());
    edit->setSelection(SelStart(), length);
}

CodePageString TEdit::SelText() const
{
    return FromQString(static_cast<QLineEdit*>(OwnWidget())->selectedText());
}

void TEdit::SetSelText(const CodePageString& text)
{
    static_cast<QLineEdit*>(OwnWidget())->insert(ToQString(text));
}

void TEdit::SelectAll()
{
    static_cast<QLineEdit*>(OwnWidget())->selectAll();
}

// --- TMemo -----------------------------------------------------------------------------------------------

// The memo's lines are its document's blocks, read and changed in place, so
// that a line's operation costs that line, not the whole text. The empty
// block after a final line break (and the one block of an empty text) is no
// line.
namespace {

QTextDocument* DocumentOf(const TMemo* memo)
{
    return static_cast<QPlainTextEdit*>(WidgetOf(memo))->document();
}

int LineCount(const QTextDocument* doc)
{
    return doc->blockCount() - (doc->lastBlock().length() == 1 ? 1 : 0);
}

// The end of the text, before the document's own closing separator.
int TextEnd(const QTextDocument* doc)
{
    return doc->characterCount() - 1;
}

// The lines as one insertion, each line break one character.
CodePageString JoinedLines(const std::vector<CodePageString>& lines)
{
    CodePageString joined;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            joined += '\n';
        joined += LineFeedsOnly(lines[i]);
    }
    return joined;
}

}  // namespace

void TMemoStrings::Replace(int from, int to, const CodePageString& text)
{
    QTextDocument* doc = DocumentOf(FMemo);
    Changing();
    // The program's own edit: no undo step, not a change the user made.
    FMemo->FSettingText = true;
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    QTextCursor cursor(doc);
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    cursor.insertText(ToQString(text));
    doc->setUndoRedoEnabled(undo);
    FMemo->FSettingText = false;
    if (!FMemo->Destroying()) {
        SafeCall([this] { FMemo->Change(); });
        FMemo->AccessibleChanged(TAccessibleChange::Name);
    }
    Changed();
}

void TMemoStrings::Append(const CodePageString& text)
{
    const QTextDocument* doc = DocumentOf(FMemo);
    const int end = TextEnd(doc);
    // After a final line break the text goes into the empty last block.
    if (LineCount(doc) < doc->blockCount())
        Replace(end, end, text);
    else
        Replace(end, end, "\n" + text);
}

int TMemoStrings::Count() const
{
    return LineCount(DocumentOf(FMemo));
}

CodePageString TMemoStrings::Get(int index) const
{
    const QTextDocument* doc = DocumentOf(FMemo);
    if (index < 0 || index >= LineCount(doc))
        ListIndexError(index);
    // As the memo's Text reads it.
    return FromQString(doc->findBlockByNumber(index).text().replace(QChar::Nbsp, QLatin1Char(' ')));
}

void TMemoStrings::Put(int index, const CodePageString& s)
{
    const QTextDocument* doc = DocumentOf(FMemo);
    if (index < 0 || index >= LineCount(doc))
        ListIndexError(index);
    const QTextBlock block = doc->findBlockByNumber(index);
    Replace(block.position(), block.position() + block.length() - 1, LineFeedsOnly(s));
}

void TMemoStrings::Insert(int index, const CodePageString& s)
{
    const QTextDocument* doc = DocumentOf(FMemo);
    const int count = LineCount(doc);
    if (index < 0 || index > count)
        ListIndexError(index);
    if (index == count) {
        Append(LineFeedsOnly(s));
        return;
    }
    const int at = doc->findBlockByNumber(index).position();
    Replace(at, at, LineFeedsOnly(s) + "\n");
}

void TMemoStrings::Delete(int index)
{
    const QTextDocument* doc = DocumentOf(FMemo);
    const int count = LineCount(doc);
    if (index < 0 || index >= count)
        ListIndexError(index);
    const QTextBlock block = doc->findBlockByNumber(index);
    if (index + 1 < count)
        Replace(block.position(), block.next().position(), CodePageString());
    else
        // The last line goes with the line break before it, and any after it.
        Replace(std::max(0, block.position() - 1), TextEnd(doc), CodePageString());
}

void TMemoStrings::Clear()
{
    Changing();
    FMemo->SetText("");
    Changed();
}

void TMemoStrings::AddLines(std::vector<CodePageString> added, std::vector<TObject*>)
{
    if (!added.empty())
        Append(JoinedLines(added));
}

namespace {

// The memo's window: the edit control, which lets its memo paint over the
// text area after each paint and tells it of scrolling.
class TMemoEdit : public QPlainTextEdit {
public:
    explicit TMemoEdit(TMemo* memo) : FMemo(memo) {}
    int FirstVisibleBlockNumber() const { return firstVisibleBlock().blockNumber(); }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPlainTextEdit::paintEvent(event);
        if (FMemo->Destroying())
            return;
        QPainter painter(viewport());
        TQtCanvas canvas(&painter, FromQRect(event->rect()));
        canvas.SetFont(FMemo->Font());
        canvas.Brush()->SetColor(FMemo->Color());
        SafeCall([&] { FMemo->HandlePaintOver(&canvas); });
    }
    void scrollContentsBy(int dx, int dy) override
    {
        QPlainTextEdit::scrollContentsBy(dx, dy);
        if (!FMemo->Destroying())
            SafeCall([&] { FMemo->HandleScrolled(dy != 0); });
    }

private:
    TMemo* FMemo;
};

TMemoEdit* EditOf(const TMemo* memo)
{
    return static_cast<TMemoEdit*>(WidgetOf(memo));
}

// The longest first line of a memo, in characters, whose glyphs are kept
// between layouts.
constexpr int ShapedLineCacheLimit = 1024;

// A document position as a position of Text.
int TextPosition(const QTextDocument* doc, int position)
{
    return position + doc->findBlock(position).blockNumber();
}

}  // namespace

TMemo::TMemo(TComponent* AOwner) : TCustomEdit(AOwner), FLines(std::make_unique<TMemoStrings>(this))
{
    auto* edit = new TMemoEdit(this);
    edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    edit->setTabChangesFocus(!FWantTabs);
    ConnectControl(this, edit, &QPlainTextEdit::textChanged, [this] {
        FAppliedValid = false;
        // A text set by the program reports its one change itself, once the
        // text is in place.
        if (Destroying() || FSettingText)
            return;
        FModified = true;
        SafeCall([this] { Change(); });
    });
    AttachWidget(edit);
    AddInputWidget(edit->viewport());
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
    ApplyColor();
    SetScrollBars(ssNone);
    SetBounds(0, 0, 185, 89);
}

TMemo::~TMemo()
{
    SetDestroying();
}

CodePageString TMemo::GetText() const
{
    // As the document reads once it holds the text (a no-break space reads
    // as a space).
    if (TextPending()) {
        CodePageString shown = FromPlainLines(ToPlainLines(FText));
        std::replace(shown.begin(), shown.end(), '\xA0', ' ');
        return shown;
    }
    return FromPlainLines(static_cast<QPlainTextEdit*>(OwnWidget())->toPlainText());
}

void TMemo::TextKeptBack(const CodePageString&)
{
    if (!Destroying())
        SafeCall([this] { Change(); });
}

void TMemo::ApplyText()
{
    TMemoEdit* edit = EditOf(this);
    QTextDocument* doc = edit->document();
    if (FAppliedValid && FAppliedText == FText) {
        // The document holds the text already, unedited: it is only shown
        // from its start again, as a new text is.
        doc->setModified(false);
        edit->setTextCursor(QTextCursor(doc));
        if (!Destroying() && !FlushingText())
            SafeCall([this] { Change(); });
        return;
    }
    FSettingText = true;
    // The whole content is replaced in one edit, without undo history (as
    // loading a text drops it). Emptying the document first would rebuild
    // its root frame and formats and lay it out twice for every set.
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    QTextCursor all(doc);
    all.beginEditBlock();
    all.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    all.insertText(ToPlainLines(FText));
    // A short first line keeps its shaped glyphs from its layout until the
    // next one, so that placing the cursor and painting don't shape it again.
    const QTextBlock first = doc->firstBlock();
    first.layout()->setCacheEnabled(first.length() <= ShapedLineCacheLimit);
    all.endEditBlock();
    doc->setUndoRedoEnabled(undo);
    doc->setModified(false);
    // The text shows from its start, the cursor before its first character.
    edit->setTextCursor(QTextCursor(doc));
    FSettingText = false;
    FAppliedText = FText;
    FAppliedValid = true;
    if (!Destroying() && !FlushingText())
        SafeCall([this] { Change(); });
}

void TMemo::SetReadOnly(bool v)
{
    FReadOnly = v;
    static_cast<QPlainTextEdit*>(OwnWidget())->setReadOnly(v);
}

void TMemo::SetWordWrap(bool v)
{
    FWordWrap = v;
    static_cast<QPlainTextEdit*>(OwnWidget())->setLineWrapMode(v ? QPlainTextEdit::WidgetWidth
                                                              : QPlainTextEdit::NoWrap);
}

void TMemo::SetScrollBars(TScrollStyle s)
{
    FScrollBars = s;
    auto* edit = static_cast<QPlainTextEdit*>(OwnWidget());
    const bool h = s == ssHorizontal || s == ssBoth;
    const bool v = s == ssVertical || s == ssBoth;
    edit->setHorizontalScrollBarPolicy(h ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    edit->setVerticalScrollBarPolicy(v ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void TMemo::SetAlignment(TAlignment a)
{
    FAlignment = a;
}

// Selection positions count characters of Text, as the edit control's do.
int TMemo::SelStart() const
{
    const QTextCursor c = EditOf(this)->textCursor();
    return TextPosition(c.document(), c.selectionStart());
}

void TMemo::SetSelStart(int start)
{
    TMemoEdit* edit = EditOf(this);
    QTextCursor c = edit->textCursor();
    c.setPosition(DocumentPosition(start));
    edit->setTextCursor(c);
}

int TMemo::SelLength() const
{
    const QTextCursor c = EditOf(this)->textCursor();
    return TextPosition(c.document(), c.selectionEnd()) - TextPosition(c.document(), c.selectionStart());
}

void TMemo::SetSelLength(int length)
{
    TMemoEdit* edit = EditOf(this);
    QTextCursor c = edit->textCursor();
    const int start = TextPosition(c.document(), c.selectionStart());
    c.setPosition(c.selectionStart());
    c.setPosition(DocumentPosition(start + std::max(0, length)), QTextCursor::KeepAnchor);
    edit->setTextCursor(c);
}

CodePageString TMemo::SelText() const
{
    return FromPlainLines(static_cast<QPlainTextEdit*>(OwnWidget())->textCursor().selectedText().replace(
        QChar::ParagraphSeparator, '\n'));
}

void TMemo::SetSelText(const CodePageString& text)
{
    static_cast<QPlainTextEdit*>(OwnWidget())->textCursor().insertText(ToPlainLines(text));
}

void TMemo::SelectAll()
{
    static_cast<QPlainTextEdit*>(OwnWidget())->selectAll();
}

void TMemo::SetWantTabs(bool v)
{
    FWantTabs = v;
    EditOf(this)->setTabChangesFocus(!v);
}

// Lines are the document's blocks. A line break is one character in the
// document and two (CR LF) in Text, so line n starts n characters later in
// Text than in the document.
int TMemo::LineFromChar(int pos) const
{
    const QTextDocument* doc = EditOf(this)->document();
    int low = 0;
    int high = doc->blockCount() - 1;
    while (low < high) {
        const int mid = (low + high + 1) / 2;
        if (doc->findBlockByNumber(mid).position() + mid <= pos)
            low = mid;
        else
            high = mid - 1;
    }
    return low;
}

int TMemo::LineIndex(int line) const
{
    const QTextDocument* doc = EditOf(this)->document();
    if (line < 0 || line >= doc->blockCount())
        return -1;
    return doc->findBlockByNumber(line).position() + line;
}

int TMemo::LineLength(int line) const
{
    const QTextDocument* doc = EditOf(this)->document();
    if (line < 0 || line >= doc->blockCount())
        return 0;
    return doc->findBlockByNumber(line).length() - 1;
}

int TMemo::FirstVisibleLine() const
{
    return EditOf(this)->FirstVisibleBlockNumber();
}

int TMemo::LastVisibleLine() const
{
    const TMemoEdit* edit = EditOf(this);
    const QWidget* area = edit->viewport();
    return edit->cursorForPosition(QPoint(area->width() - 1, area->height() - 1)).blockNumber();
}

int TMemo::DocumentPosition(int pos) const
{
    const int line = LineFromChar(pos);
    const int column = std::clamp(pos - LineIndex(line), 0, LineLength(line));
    return EditOf(this)->document()->findBlockByNumber(line).position() + column;
}

TPoint TMemo::PosFromChar(int pos) const
{
    TMemoEdit* edit = EditOf(this);
    QTextCursor cursor(edit->document());
    cursor.setPosition(DocumentPosition(pos));
    const QRect r = edit->cursorRect(cursor);
    return {r.left(), r.top()};
}

int TMemo::CharFromPos(int x, int y) const
{
    const QTextCursor cursor = EditOf(this)->cursorForPosition(QPoint(x, y));
    return TextPosition(cursor.document(), cursor.position());
}

void TMemo::SetTextAreaCursor(TCursor cursor)
{
    QWidget* area = EditOf(this)->viewport();
    if (cursor == crDefault)
        area->setCursor(Qt::IBeamCursor);
    else
        area->setCursor(ToQCursor(cursor));
}

void TMemo::InvalidateText()
{
    EditOf(this)->viewport()->update();
}

void TMemo::HandlePaintOver(TCanvas* canvas)
{
    PaintOver(canvas);
}

void TMemo::HandleScrolled(bool vertical)
{
    Scrolled(vertical);
}

// --- TButton ---------------------------------------------------------------------------------------------

TButton::~TButton()
{
    SetDestroying();
}

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner)
{
    auto* button = new QPushButton;
    button->setAutoDefault(false);
    ConnectControl(this, button, &QPushButton::clicked, [this](bool) {
        if (!Destroying())
            SafeCall([this] { Click(); });
    });
    AttachWidget(button);
    SetTabStop(true);
    SetBounds(0, 0, 75, 25);
}

void TButton::ApplyText()
{
    static_cast<QPushButton*>(OwnWidget())->setText(ToQString(FText));
}

void TButton::SetDefault(bool v)
{
    FDefault = v;
    static_cast<QPushButton*>(OwnWidget())->setDefault(v);
}

void TButton::Click()
{
    if (FModalResult != 0) {
        TWinControl* top = Parent();
        while (top && top->Parent())
            top = top->Parent();
        if (auto* form = dynamic_cast<TForm*>(top))
            form->SetModalResult(FModalResult);
    }
    TWinControl::Click();
}

// --- TCheckBox --------------------------------------------------------------------------------------------

TCheckBox::~TCheckBox()
{
    SetDestroying();
}

TCheckBox::TCheckBox(TComponent* AOwner) : TWinControl(AOwner)
{
    auto* box = new QCheckBox;
    ConnectControl(this, box, &QCheckBox::clicked, [this](bool) {
        if (!Destroying())
            SafeCall([this] { HandleToggled(); });
    });
    AttachWidget(box);
    SetTabStop(true);
    SetBounds(0, 0, 97, 17);
}

void TCheckBox::ApplyText()
{
    static_cast<QCheckBox*>(OwnWidget())->setText(ToQString(FText));
}

void TCheckBox::HandleToggled()
{
    auto* box = static_cast<QCheckBox*>(OwnWidget());
    const Qt::CheckState s = box->checkState();
    FState = s == Qt::Checked ? cbChecked : s == Qt::PartiallyChecked ? cbGrayed : cbUnchecked;
    AccessibleChanged(TAccessibleChange::State);
    Click();
}

void TCheckBox::SetState(TCheckBoxState state)
{
    if (state == FState)
        return;
    FState = state;
    auto* box = static_cast<QCheckBox*>(OwnWidget());
    const QSignalBlocker block(box);
    if (state == cbGrayed)
        box->setTristate(true);
    box->setCheckState(state == cbChecked ? Qt::Checked : state == cbGrayed ? Qt::PartiallyChecked : Qt::Unchecked);
    Click();
}

void TCheckBox::SetAllowGrayed(bool v)
{
    FAllowGrayed = v;
    static_cast<QCheckBox*>(OwnWidget())->setTristate(v);
}

void TCheckBox::SetAlignment(TLeftRight a)
{
    FAlignment = a;
    OwnWidget()->setLayoutDirection(a == taLeftJustify ? Qt::RightToLeft : Qt::LeftToRight);
}

TSize CheckBoxIndicatorSize()
{
    const QStyle* style = QApplication::style();
    return {style->pixelMetric(QStyle::PM_IndicatorWidth), style->pixelMetric(QStyle::PM_IndicatorHeight)};
}

TSize RadioButtonIndicatorSize()
{
    const QStyle* style = QApplication::style();
    return {style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth),
            style->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight)};
}

// --- TRadioButton ------------------------------------------------------------------------------------------

TRadioButton::~TRadioButton()
{
    SetDestroying();
}

TRadioButton::TRadioButton(TComponent* AOwner) : TWinControl(AOwner)
{
    auto* button = new QRadioButton;
    ConnectControl(this, button, &QRadioButton::clicked, [this](bool checked) {
        if (!Destroying() && !FSetting)
            SafeCall([&] { HandleToggled(checked); });
    });
    AttachWidget(button);
    SetTabStop(true);
    SetBounds(0, 0, 113, 17);
}

void TRadioButton::ApplyText()
{
    static_cast<QRadioButton*>(OwnWidget())->setText(ToQString(FText));
}

bool TRadioButton::Checked() const
{
    return static_cast<QRadioButton*>(OwnWidget())->isChecked();
}

void TRadioButton::SetChecked(bool v)
{
    auto* button = static_cast<QRadioButton*>(OwnWidget());
    if (v == button->isChecked())
        return;
    FSetting = true;
    if (v) {
        button->setChecked(true);
    } else {
        // The toolkit will not uncheck the checked button of a group.
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    }
    FSetting = false;
    AccessibleChanged(TAccessibleChange::State);
    if (v)
        Click();
}

void TRadioButton::HandleToggled(bool checked)
{
    AccessibleChanged(TAccessibleChange::State);
    if (checked)
        Click();
}

// --- TGroupBox ----------------------------------------------------------------------------------------------

TGroupBox::TGroupBox(TComponent* AOwner) : TWinControl(AOwner)
{
    AttachWidget(new QGroupBox);
    SetBounds(0, 0, 185, 105);
}

void TGroupBox::ApplyText()
{
    static_cast<QGroupBox*>(OwnWidget())->setTitle(ToQString(FText));
}

TRect TGroupBox::AdjustedClientRect() const
{
    const int th = FontCellHeight(ToQFont(*Font()));
    return Rect(2, th + 2, std::max(2, Width() - 2), std::max(th + 2, Height() - 2));
}

// --- list strings ------------------------------------------------------------------------------------------

void TListControlStrings::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        IndexError(index);
}

int TListControlStrings::SortedPosition(const CodePageString& s) const
{
    int lo = 0, hi = Count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (CompareText(FLines[size_t(mid)].text, s) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

int TListControlStrings::Add(const CodePageString& s)
{
    return AddObject(s, nullptr);
}

int TListControlStrings::AddObject(const CodePageString& s, TObject* object)
{
    const int index = FSorted ? SortedPosition(s) : Count();
    InsertObject(index, s, object);
    return index;
}

void TListControlStrings::Insert(int index, const CodePageString& s)
{
    InsertObject(index, s, nullptr);
}

void TListControlStrings::InsertObject(int index, const CodePageString& s, TObject* object)
{
    if (index < 0 || index > Count())
        IndexError(index);
    Changing();
    Line line;
    line.text = s;
    line.object = object;
    FLines.insert(FLines.begin() + index, std::move(line));
    if (FSink.inserted)
        FSink.inserted(index);
    Changed();
}

void TListControlStrings::Delete(int index)
{
    CheckIndex(index);
    Changing();
    FLines.erase(FLines.begin() + index);
    if (FSink.deleted)
        FSink.deleted(index);
    Changed();
}

void TListControlStrings::Clear()
{
    Changing();
    FLines.clear();
    if (FSink.reset)
        FSink.reset();
    Changed();
}

void TListControlStrings::Exchange(int index1, int index2)
{
    CheckIndex(index1);
    CheckIndex(index2);
    Changing();
    std::swap(FLines[size_t(index1)], FLines[size_t(index2)]);
    if (FSink.changed) {
        FSink.changed(index1);
        FSink.changed(index2);
    }
    Changed();
}

int TListControlStrings::IndexOf(const CodePageString& s) const
{
    for (int i = 0; i < Count(); ++i)
        if (SameText(FLines[size_t(i)].text, s))
            return i;
    return -1;
}

void TListControlStrings::SetSorted(bool sorted)
{
    if (sorted == FSorted)
        return;
    FSorted = sorted;
    if (!sorted)
        return;
    Changing();
    std::stable_sort(FLines.begin(), FLines.end(),
                     [](const Line& a, const Line& b) { return CompareText(a.text, b.text) < 0; });
    if (FSink.reset)
        FSink.reset();
    Changed();
}

TListControlStrings::Line& TListControlStrings::LineAt(int index)
{
    CheckIndex(index);
    return FLines[size_t(index)];
}

const TListControlStrings::Line& TListControlStrings::LineAt(int index) const
{
    CheckIndex(index);
    return FLines[size_t(index)];
}

CodePageString TListControlStrings::Get(int index) const
{
    CheckIndex(index);
    return FLines[size_t(index)].text;
}

void TListControlStrings::Put(int index, const CodePageString& s)
{
    CheckIndex(index);
    Changing();
    FLines[size_t(index)].text = s;
    if (FSink.changed)
        FSink.changed(index);
    Changed();
}

TObject* TListControlStrings::GetObject(int index) const
{
    CheckIndex(index);
    return FLines[size_t(index)].object;
}

void TListControlStrings::PutObject(int index, TObject* object)
{
    CheckIndex(index);
    FLines[size_t(index)].object = object;
}

void TListControlStrings::AddLines(std::vector<CodePageString> lines, std::vector<TObject*> objects)
{
    if (FSorted) {
        for (size_t i = 0; i < lines.size(); ++i)
            AddObject(lines[i], i < objects.size() ? objects[i] : nullptr);
        return;
    }
    Changing();
    FLines.reserve(FLines.size() + lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        Line line;
        line.text = std::move(lines[i]);
        line.object = i < objects.size() ? objects[i] : nullptr;
        FLines.push_back(std::move(line));
    }
    if (FSink.reset)
        FSink.reset();
    Changed();
}

// --- TComboBox ----------------------------------------------------------------------------------------------

TComboBox::TComboBox(TComponent* AOwner) : TWinControl(AOwner)
{
    auto* combo = new QComboBox;
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setMaxVisibleItems(FDropDownCount);
    TListControlStrings::Sink sink;
    sink.inserted = [this, combo](int index) {
        combo->insertItem(index, ToQString(FItems->LineAt(index).text));
    };
    sink.changed = [this, combo](int index) { combo->setItemText(index, ToQString(FItems->LineAt(index).text)); };
    sink.deleted = [combo](int index) { combo->removeItem(index); };
    sink.reset = [this, combo] {
        const QString edit = combo->isEditable() ? combo->currentText() : QString();
        combo->clear();
        for (int i = 0; i < FItems->Count(); ++i)
            combo->addItem(ToQString(FItems->LineAt(i).text));
        combo->setCurrentIndex(-1);
        if (combo->isEditable())
            combo->setEditText(edit);
    };
    FItems = std::make_unique<TListControlStrings>(std::move(sink));
    ConnectControl(this, combo, &QComboBox::activated, [this](int index) {
        if (!Destroying())
            SafeCall([&] { HandleActivated(index); });
    });
    AttachWidget(combo);
    SetStyle(csDropDown);
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
    ApplyColor();
    SetBounds(0, 0, 145, 21);
}

TComboBox::~TComboBox()
{
    SetDestroying();
}

void TComboBox::SetStyle(TComboBoxStyle style)
{
    FStyle = style;
    auto* combo = static_cast<QComboBox*>(OwnWidget());
    const bool editable = style == csDropDown || style == csSimple;
    const CodePageString text = GetText();
    combo->setEditable(editable);
    // What the user types stays as typed: the toolkit's completer would turn
    // "5" into the first longer item that starts so ("50") as it is typed.
    combo->setCompleter(nullptr);
    if (editable && combo->lineEdit()) {
        combo->lineEdit()->setMaxLength(FMaxLength > 0 ? FMaxLength : EditLengthLimit);
        ConnectControl(this, combo->lineEdit(), &QLineEdit::textEdited, [this](const QString&) {
            if (!Destroying())
                SafeCall([this] { HandleEdited(); });
        });
        AddInputWidget(combo->lineEdit());
        combo->setEditText(ToQString(text));
    }
}

CodePageString TComboBox::GetText() const
{
    auto* combo = static_cast<QComboBox*>(OwnWidget());
    if (combo->isEditable())
        return FromQString(combo->currentText());
    return combo->currentIndex() >= 0 ? FromQString(combo->currentText()) : CodePageString();
}

void TComboBox::ApplyText()
{
    auto* combo = static_cast<QComboBox*>(OwnWidget());
    const int index = FItems->IndexOf(FText);
    if (combo->isEditable()) {
        combo->setCurrentIndex(index >= 0 && FItems->LineAt(index).text == FText ? index : -1);
        combo->setEditText(ToQString(FText));
    } else {
        combo->setCurrentIndex(index);
    }
}

void TComboBox::ApplyColor()
{
    SetBaseColor(OwnWidget(), Color());
}

int TComboBox::ItemIndex() const
{
    return static_cast<QComboBox*>(OwnWidget())->currentIndex();
}

void TComboBox::SetItemIndex(int index)
{
    auto* combo = static_cast<QComboBox*>(OwnWidget());
    if (index < -1 || index >= FItems->Count())
        index = -1;
    combo->setCurrentIndex(index);
    if (index < 0 && combo->isEditable())
        combo->setEditText(QString());
}

void TComboBox::SetDropDownCount(int n)
{
    FDropDownCount = n;
    static_cast<QComboBox*>(OwnWidget())->setMaxVisibleItems(std::max(1, n));
}

void TComboBox::SetMaxLength(int n)
{
    FMaxLength = n;
    auto* combo = static_cast<QComboBox*>(OwnWidget());
    if (combo->lineEdit())
        combo->lineEdit()->setMaxLength(n > 0 ? n : EditLengthLimit);
}

void TComboBox::Clear()
{
    FItems->Clear();
    SetText("");
}

bool TComboBox::DroppedDown() const
{
    auto* combo = static_cast<QComboBox*>(OwnWidget());
    return combo->view() && combo->view()->isVisible();
}

void TComboBox::SetDroppedDown(bool v)
{
    auto* combo = static_cast<QComboBox*>(OwnWidget());
    if (v) {
        FireEvent(OnDropDown, this);
        combo->showPopup();
    } else {
        combo->hidePopup();
    }
}

void TComboBox::Change()
{
    FireEvent(OnChange, this);
}

void TComboBox::HandleActivated(int)
{
    Click();
    if (!FireEvent(OnSelect, this))
        Change();
}

void TComboBox::HandleEdited()
{
    Change();
}

// --- scroll bars of scrolled views --------------------------------------------------------------------------

namespace {

// A scroll bar that asks to be painted again only when its picture changes.
// A list that grows by a line sets its bar's range for every line, and the
// toolkit repaints a bar for every change of range; but once the thumb is at
// its smallest, or while the range grows by less than a pixel of thumb, the
// bar looks the same and the repaint (a tall gradient and lines, among the
// dearest things a window paints) is wasted. What the bar shows is its
// rectangle, the thumb's rectangle, its state (enabled, hovered, pressed
// parts), whether it scrolls at all and whether it stands at either end;
// anything else that changes its picture (size, palette, style, hovering)
// repaints it by other ways.
class TSteadyScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void sliderChange(SliderChange change) override
    {
        if (change != SliderOrientationChange && FPainted && Look() == *FPainted)
            return;
        QScrollBar::sliderChange(change);
    }

    void paintEvent(QPaintEvent* event) override
    {
        FPainted = Look();
        QScrollBar::paintEvent(event);
    }

private:
    struct TLook {
        QRect rect;
        QRect thumb;
        QStyle::State::Int state;
        QStyle::SubControls::Int active;
        bool still, atMinimum, atMaximum, upsideDown;
        Qt::LayoutDirection direction;
        qint64 palette;
        bool operator==(const TLook&) const = default;
    };

    TLook Look() const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return {option.rect,
                style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
                option.state.toInt(),
                option.activeSubControls.toInt(),
                option.minimum == option.maximum,
                option.sliderPosition == option.minimum,
                option.sliderPosition == option.maximum,
                option.upsideDown,
                option.direction,
                option.palette.cacheKey()};
    }

    std::optional<TLook> FPainted;  // as last painted
};

// The list of a list box. The toolkit lays a list out again after every
// line added and then paints every line in sight, even when the line went
// below the last one in sight and the lines shown are the same: a list that
// grows a line at a time at its end, or in sorted order past its visible
// part, would have all its visible lines painted again for each. Here a
// layout that follows nothing but such additions leaves the lines in sight
// alone; its scroll bar still follows the new length. Anything else (lines
// removed or changed, a new font or size, scrolling, a line added in sight)
// lays out and paints as usual.
class TListBoxView : public QListWidget {
protected:
    void paintEvent(QPaintEvent* event) override
    {
        // The view paints from its last layout, which lines added since
        // have cleared; the quiet layout they wait for is done now, or the
        // lines in sight would be painted blank and never painted again.
        if (FAddedOutOfSight > 0 && !FDisturbed)
            doItemsLayout();
        QListWidget::paintEvent(event);
        const QModelIndex last = indexAt(QPoint(0, viewport()->height() - 1));
        FLastRowInSight = last.isValid() ? last.row() : -1;
    }

    void rowsInserted(const QModelIndex& parent, int start, int end) override
    {
        if (FLastRowInSight >= 0 && start > FLastRowInSight)
            FAddedOutOfSight += end - start + 1;
        else
            Disturb();
        QListWidget::rowsInserted(parent, start, end);
    }

    void doItemsLayout() override
    {
        const int rows = model() ? model()->rowCount() : 0;
        const bool quiet = !FDisturbed && FAddedOutOfSight > 0 && rows == FRowsLaidOut + FAddedOutOfSight &&
                           viewport()->isVisible() && viewport()->updatesEnabled();
        const QPoint offset = ScrollOffset();
        const QSize size = viewport()->size();
        if (quiet)
            viewport()->setAttribute(Qt::WA_UpdatesDisabled, true);
        QListWidget::doItemsLayout();
        if (quiet) {
            viewport()->setAttribute(Qt::WA_UpdatesDisabled, false);
            if (ScrollOffset() != offset || viewport()->size() != size)
                viewport()->update();
        }
        FRowsLaidOut = model() ? model()->rowCount() : 0;
        FAddedOutOfSight = 0;
        FDisturbed = false;
    }

    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override
    {
        Disturb();
        QListWidget::rowsAboutToBeRemoved(parent, start, end);
    }
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles) override
    {
        // A line out of sight changes nothing on show (the first line gives
        // every line its height, so it counts as in sight).
        if (FLastRowInSight < 0 || topLeft.row() <= FLastRowInSight || topLeft.row() == 0)
            Disturb();
        QListWidget::dataChanged(topLeft, bottomRight, roles);
    }
    void reset() override
    {
        Disturb();
        QListWidget::reset();
    }
    void scrollContentsBy(int dx, int dy) override
    {
        Disturb();
        QListWidget::scrollContentsBy(dx, dy);
    }
    void resizeEvent(QResizeEvent* event) override
    {
        Disturb();
        QListWidget::resizeEvent(event);
    }
    void changeEvent(QEvent* event) override
    {
        Disturb();
        QListWidget::changeEvent(event);
    }

private:
    // Until the next paint, nothing is known of what is in sight.
    void Disturb()
    {
        FDisturbed = true;
        FLastRowInSight = -1;
    }
    QPoint ScrollOffset() const { return {horizontalScrollBar()->value(), verticalScrollBar()->value()}; }

    int FLastRowInSight = -1;  // as last painted; -1: not known, or the lines end in sight
    int FRowsLaidOut = 0;
    int FAddedOutOfSight = 0;  // since the last layout
    bool FDisturbed = true;
};

}  // namespace

void UseSteadyScrollBars(QAbstractScrollArea* area)
{
    area->setVerticalScrollBar(new TSteadyScrollBar(Qt::Vertical));
    area->setHorizontalScrollBar(new TSteadyScrollBar(Qt::Horizontal));
    // An item view follows its bars through links made with its own bars;
    // new bars get them again, so that a scroll still updates the row under
    // the mouse and asks for more rows.
    if (auto* view = qobject_cast<QAbstractItemView*>(area)) {
        QObject::connect(area->verticalScrollBar(), SIGNAL(actionTriggered(int)), view,
                         SLOT(verticalScrollbarAction(int)));
        QObject::connect(area->horizontalScrollBar(), SIGNAL(actionTriggered(int)), view,
                         SLOT(horizontalScrollbarAction(int)));
        QObject::connect(area->verticalScrollBar(), SIGNAL(valueChanged(int)), view,
                         SLOT(verticalScrollbarValueChanged(int)));
        QObject::connect(area->horizontalScrollBar(), SIGNAL(valueChanged(int)), view,
                         SLOT(horizontalScrollbarValueChanged(int)));
    }
}

// --- list boxes ----------------------------------------------------------------------------------------------

TCustomListBox::TCustomListBox(TComponent* AOwner) : TWinControl(AOwner)
{
    auto* list = new TListBoxView;
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setUniformItemSizes(true);
    UseSteadyScrollBars(list);
    TListControlStrings::Sink sink;
    sink.inserted = [this, list](int index) {
        FSyncing = true;
        list->insertItem(index, ToQString(FItems->LineAt(index).text));
        LineInserted(index);
        FSyncing = false;
    };
    sink.changed = [this, list](int index) {
        FSyncing = true;
        if (QListWidgetItem* item = list->item(index))
            item->setText(ToQString(FItems->LineAt(index).text));
        LineChanged(index);
        FSyncing = false;
    };
    sink.deleted = [this, list](int index) {
        FSyncing = true;
        delete list->takeItem(index);
        FSyncing = false;
    };
    // The lines go in a few thousand to an insertion with the view's updates
    // held: a list of a hundred thousand lines is laid out and painted once,
    // not per line, and the texts on their way take little memory at a time.
    sink.reset = [this, list] {
        FSyncing = true;
        const bool updates = list->updatesEnabled();
        list->setUpdatesEnabled(false);
        list->clear();
        constexpr int chunk = 4096;
        QStringList texts;
        texts.reserve(std::min(chunk, FItems->Count()));
        for (int from = 0; from < FItems->Count(); from += chunk) {
            texts.clear();
            for (int i = from; i < std::min(from + chunk, FItems->Count()); ++i)
                texts.append(ToQString(FItems->LineAt(i).text));
            list->addItems(texts);
        }
        for (int i = 0; i < FItems->Count(); ++i)
            LineInserted(i);
        list->setUpdatesEnabled(updates);
        FSyncing = false;
    };
    FItems = std::make_unique<TListControlStrings>(std::move(sink));
    ConnectControl(this, list, &QListWidget::itemSelectionChanged, [this] {
        if (!FSyncing && !Destroying())
            SafeCall([this] { HandleSelectionChanged(); });
    });
    AttachWidget(list);
    AddInputWidget(list->viewport());
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
    ApplyColor();
    SetBounds(0, 0, 121, 97);
}

TCustomListBox::~TCustomListBox()
{
    SetDestroying();
}

void TCustomListBox::LineInserted(int) {}

void TCustomListBox::LineChanged(int) {}

void TCustomListBox::ApplyColor()
{
    SetBaseColor(OwnWidget(), Color());
}

void TCustomListBox::HandleSelectionChanged()
{
    Click();
}

int TCustomListBox::ItemIndex() const
{
    auto* list = static_cast<QListWidget*>(OwnWidget());
    if (!FMultiSelect) {
        const auto selected = list->selectedItems();
        return selected.isEmpty() ? -1 : list->row(selected.front());
    }
    return list->currentRow();
}

void TCustomListBox::SetItemIndex(int index)
{
    auto* list = static_cast<QListWidget*>(OwnWidget());
    FSyncing = true;
    if (index < 0 || index >= FItems->Count()) {
        list->clearSelection();
        list->setCurrentRow(-1);
    } else if (FMultiSelect) {
        // With multiple selection the item index is the focused item; the
        // selection stays as it is.
        list->setCurrentRow(index, QItemSelectionModel::NoUpdate);
    } else {
        list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    }
    FSyncing = false;
}

void TCustomListBox::SetMultiSelect(bool v)
{
    FMultiSelect = v;
    static_cast<QListWidget*>(OwnWidget())->setSelectionMode(
        !v ? QAbstractItemView::SingleSelection
           : FExtendedSelect ? QAbstractItemView::ExtendedSelection : QAbstractItemView::MultiSelection);
}

void TCustomListBox::SetExtendedSelect(bool v)
{
    FExtendedSelect = v;
    SetMultiSelect(FMultiSelect);
}

bool TCustomListBox::Selected(int index) const
{
    if (index < 0 || index >= FItems->Count())
        IndexError(index);
    return static_cast<QListWidget*>(OwnWidget())->item(index)->isSelected();
}

void TCustomListBox::SetSelected(int index, bool selected)
{
    if (index < 0 || index >= FItems->Count())
        IndexError(index);
    auto* list = static_cast<QListWidget*>(OwnWidget());
    FSyncing = true;
    if (!FMultiSelect && selected)
        list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    else
        list->item(index)->setSelected(selected);
    FSyncing = false;
}

int TCustomListBox::SelCount() const
{
    return FMultiSelect ? int(static_cast<QListWidget*>(OwnWidget())->selectedItems().size()) : -1;
}

int TCustomListBox::TopIndex() const
{
    auto* list = static_cast<QListWidget*>(OwnWidget());
    QListWidgetItem* item = list->itemAt(1, 1);
    return item ? list->row(item) : 0;
}

void TCustomListBox::SetTopIndex(int index)
{
    auto* list = static_cast<QListWidget*>(OwnWidget());
    if (QListWidgetItem* item = list->item(index))
        list->scrollToItem(item, QAbstractItemView::PositionAtTop);
}

int TCustomListBox::ItemHeight() const
{
    auto* list = static_cast<QListWidget*>(OwnWidget());
    const int h = list->count() > 0 ? list->sizeHintForRow(0) : -1;
    return h > 0 ? h : FontCellHeight(ToQFont(*Font()));
}

int TCustomListBox::ItemAtPos(const TPoint& p, bool existing) const
{
    auto* list = static_cast<QListWidget*>(OwnWidget());
    if (QListWidgetItem* item = list->itemAt(p.x, p.y))
        return list->row(item);
    return existing ? -1 : FItems->Count();
}

TRect TCustomListBox::ItemRect(int index) const
{
    auto* list = static_cast<QListWidget*>(OwnWidget());
    QListWidgetItem* item = list->item(index);
    return item ? FromQRect(list->visualItemRect(item)) : TRect{};
}

void TCustomListBox::Clear()
{
    FItems->Clear();
}

// --- TScrollBar ----------------------------------------------------------------------------------------------

TScrollBar::~TScrollBar()
{
    SetDestroying();
}

TScrollBar::TScrollBar(TComponent* AOwner) : TWinControl(AOwner)
{
    auto* bar = new QScrollBar(Qt::Horizontal);
    ConnectControl(this, bar, &QScrollBar::actionTriggered, [this](int action) {
        if (!FSyncing && !Destroying())
            SafeCall([&] { HandleAction(action); });
    });
    ConnectControl(this, bar, &QScrollBar::valueChanged, [this](int value) {
        if (!FSyncing && !Destroying())
            SafeCall([&] { HandleMoved(value); });
    });
    AttachWidget(bar);
    SetBounds(0, 0, 121, 16);
    Sync();
}

void TScrollBar::Sync()
{
    auto* bar = static_cast<QScrollBar*>(OwnWidget());
    FSyncing = true;
    bar->setOrientation(FKind == sbHorizontal ? Qt::Horizontal : Qt::Vertical);
    // The class library's Max is the last position a page can start at plus
    // the page; the toolkit's maximum is the last position itself.
    const int page = std::max(0, FPageSize);
    bar->setRange(FMin, std::max(FMin, FMax - (page > 0 ? page - 1 : 0)));
    bar->setPageStep(page > 0 ? page : FLargeChange);
    bar->setSingleStep(FSmallChange);
    bar->setValue(FPosition);
    FSyncing = false;
}

void TScrollBar::SetKind(TScrollBarKind kind)
{
    FKind = kind;
    if (kind == sbVertical && Width() > Height())
        SetBounds(Left(), Top(), Height(), Width());
    Sync();
}

void TScrollBar::SetParams(int position, int min, int max)
{
    if (max < min)
        max = min;
    position = std::clamp(position, min, max);
    const bool changed = position != FPosition;
    FMin = min;
    FMax = max;
    FPosition = position;
    Sync();
    if (changed)
        FireEvent(OnChange, this);
}

void TScrollBar::SetSmallChange(int v)
{
    FSmallChange = v;
    Sync();
}

void TScrollBar::SetLargeChange(int v)
{
    FLargeChange = v;
    Sync();
}

void TScrollBar::SetPageSize(int v)
{
    FPageSize = v;
    Sync();
}

void TScrollBar::HandleAction(int action)
{
    auto* bar = static_cast<QScrollBar*>(OwnWidget());
    TScrollCode code = scPosition;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: code = scLineDown; break;
    case QAbstractSlider::SliderSingleStepSub: code = scLineUp; break;
    case QAbstractSlider::SliderPageStepAdd: code = scPageDown; break;
    case QAbstractSlider::SliderPageStepSub: code = scPageUp; break;
    case QAbstractSlider::SliderToMinimum: code = scTop; break;
    case QAbstractSlider::SliderToMaximum: code = scBottom; break;
    case QAbstractSlider::SliderMove: code = scTrack; break;
    default: code = scPosition; break;
    }
    int pos = bar->sliderPosition();
    FireEvent(OnScroll, this, code, pos);
    pos = std::clamp(pos, FMin, FMax);
    if (pos != bar->sliderPosition())
        bar->setSliderPosition(pos);
}

void TScrollBar::HandleMoved(int value)
{
    if (value == FPosition)
        return;
    FPosition = value;
    FireEvent(OnChange, this);
}
