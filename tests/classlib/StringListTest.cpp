#include <QTemporaryDir>
#include <random>

#include <gtest/gtest.h>

#include "classlib/Classes.h"
#include "classlib/Files.h"

namespace {

std::vector<CodePageString> Lines(const TStrings& list)
{
    std::vector<CodePageString> out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(list[i]);
    return out;
}

using V = std::vector<CodePageString>;

}  // namespace

TEST(StringList, SortedOrderFoldsAsciiCaseThenComparesBytes)
{
    TStringList list;
    list.SetSorted(true);
    for (const char* s : {"\xE9t\xE9", "_under", "b", "[", "A", "ab", "Z", "a1", "\x80"})
        list.Add(s);
    // Upper-case fold: 'A'..'Z' (0x41..) < '[' (0x5B) < '_' (0x5F) < bytes above 127.
    EXPECT_EQ(Lines(list), (V{"A", "a1", "ab", "b", "Z", "[", "_under", "\x80", "\xE9t\xE9"}));
}

TEST(StringList, SortedDuplicates)
{
    struct Case {
        TDuplicates duplicates;
        V expected;
    };
    const Case cases[] = {
        {dupIgnore, {"Apple", "pear"}},               // the first one added wins
        {dupAccept, {"APPLE", "apple", "Apple", "pear"}},  // each new one goes before its equals
    };
    for (const Case& c : cases) {
        TStringList list;
        list.Duplicates = c.duplicates;
        list.SetSorted(true);
        EXPECT_EQ(list.Add("Apple"), 0);
        list.Add("pear");
        const int index = list.Add("apple");
        list.Add("APPLE");
        EXPECT_EQ(Lines(list), c.expected);
        if (c.duplicates == dupIgnore) {
            EXPECT_EQ(index, 0) << "Add of an ignored duplicate returns the existing line";
        }
    }

    TStringList strict;
    strict.Duplicates = dupError;
    strict.SetSorted(true);
    strict.Add("x");
    try {
        strict.Add("X");
        FAIL() << "no exception";
    } catch (const EStringListError& e) {
        EXPECT_EQ(e.Message, "Duplicates not allowed");
    }
}

// Loading many lines into a sorted list sorts in bulk; the result must be
// what adding them one by one gives, for every duplicates mode.
TEST(StringList, BulkLoadIntoSortedListMatchesOneByOne)
{
    std::mt19937 random(7);
    // Long ones too, alike in their first 16 bytes but for case, and apart after them.
    const char* words[] = {"alpha", "Alpha", "ALPHA", "beta", "Beta", "gamma", "_x", "\xC4", "\xE4", "", "zeta",
                           "a shared prefix!", "A SHARED PREFIX!", "a shared prefix!a", "a shared prefix!A",
                           "a shared prefix", "a shared prefix!\x01"};
    V input;
    for (int i = 0; i < 2000; ++i)
        input.push_back(CodePageString(words[random() % std::size(words)]) + std::to_string(random() % 30));
    CodePageString text;
    for (const CodePageString& s : input)
        text += s + "\n";

    for (const bool empty : {false, true}) {
        for (TDuplicates mode : {dupIgnore, dupAccept, dupError}) {
            TStringList bulk, single;
            for (TStringList* l : {&bulk, &single}) {
                l->Duplicates = mode;
                l->SetSorted(true);
                if (!empty)
                    l->Add("beta7");  // already there before the load
            }
            bool bulkThrew = false, singleThrew = false;
            try {
                TStringList source;
                source.SetText(text);
                bulk.AddStrings(source);
            } catch (const EStringListError&) {
                bulkThrew = true;
            }
            try {
                for (const CodePageString& s : input)
                    single.Add(s);
            } catch (const EStringListError&) {
                singleThrew = true;
            }
            EXPECT_EQ(bulkThrew, singleThrew) << mode << " " << empty;
            EXPECT_EQ(Lines(bulk), Lines(single)) << mode << " " << empty;
        }
    }

    // SetText on a sorted list replaces the lines, sorted, first one wins.
    TStringList list;
    list.SetSorted(true);
    list.Add("old");
    list.SetText("b=2\r\nA=1\r\nB=2\r\na=9\r\n");
    EXPECT_EQ(Lines(list), (V{"A=1", "a=9", "b=2"}));
    list.SetText("b\r\nA\r\nB\r\na\r\n");
    EXPECT_EQ(Lines(list), (V{"A", "b"}));

    // The engine database's size: one sort, not a shifting insert per line.
    CodePageString big;
    for (int i = 100000; i > 0; --i)
        big += "Engine" + std::to_string(i % 50000) + (i % 2 ? "=x\r\n" : "=X\r\n");
    list.SetText(big);
    ASSERT_EQ(list.Count(), 50000);
    EXPECT_EQ(list[0], "Engine0=X");
    EXPECT_EQ(list[list.Count() - 1], "Engine9=x");  // "=" sorts after digits
    const int at = list.IndexOf("ENGINE49999=X");
    ASSERT_GE(at, 0);
    EXPECT_EQ(list[at], "Engine49999=x") << "the first of the equal lines stays";
}

TEST(StringList, FindAndIndexOfIgnoreCase)
{
    TStringList list;
    list.SetText("delta\r\nAlpha\r\ncharlie\r\n");
    EXPECT_EQ(list.IndexOf("ALPHA"), 1);
    EXPECT_EQ(list.IndexOf("bravo"), -1);
    list.SetSorted(true);
    int index = -1;
    EXPECT_TRUE(list.Find("CHARLIE", index));
    EXPECT_EQ(index, 1);
    EXPECT_FALSE(list.Find("bravo", index));
    EXPECT_EQ(index, 1);  // where it would go
    EXPECT_FALSE(list.Find("zulu", index));
    EXPECT_EQ(index, 3);
    EXPECT_EQ(list.IndexOf("Delta"), 2);
}

TEST(StringList, SortedListRefusesPlacedLines)
{
    TStringList list;
    list.SetSorted(true);
    list.Add("a");
    for (auto op : {+[](TStringList& l) { l.Insert(0, "b"); }, +[](TStringList& l) { l.SetStrings(0, "b"); }}) {
        try {
            op(list);
            FAIL() << "no exception";
        } catch (const EStringListError& e) {
            EXPECT_EQ(e.Message, "Operation not allowed on sorted list");
        }
    }
}

TEST(StringList, IndexErrorsNameTheIndex)
{
    TStringList list;
    list.Add("only");
    struct Case {
        int index;
        std::function<void(TStringList&)> op;
    };
    const Case cases[] = {
        {1, [](TStringList& l) { (void)l.Strings(1); }},
        {-1, [](TStringList& l) { (void)l.Objects(-1); }},
        {3, [](TStringList& l) { l.Delete(3); }},
        {2, [](TStringList& l) { l.Insert(2, "x"); }},
        {5, [](TStringList& l) { l.Exchange(0, 5); }},
        {1, [](TStringList& l) { l.SetStrings(1, "x"); }},
    };
    for (const Case& c : cases) {
        try {
            c.op(list);
            ADD_FAILURE() << "no exception for " << c.index;
        } catch (const EListError& e) {
            EXPECT_EQ(e.Message, "List index out of bounds (" + std::to_string(c.index) + ")");
        }
    }
    list.Insert(1, "end");  // Count itself is a valid place to insert
    EXPECT_EQ(Lines(list), (V{"only", "end"}));
}

TEST(StringList, TextPutsCrLfAfterEveryLineAndSplitsAnyLineEnd)
{
    TStringList list;
    EXPECT_EQ(list.Text(), "");
    list.Add("a");
    list.Add("");
    list.Add("b");
    EXPECT_EQ(list.Text(), "a\r\n\r\nb\r\n");

    const struct {
        const char* text;
        V lines;
    } cases[] = {
        {"x\r\ny\r\n", {"x", "y"}},
        {"x\ny", {"x", "y"}},
        {"x\ry\r", {"x", "y"}},
        {"x\r\n\r\ny", {"x", "", "y"}},
        {"x\n\r\ny\r\r", {"x", "", "y", ""}},
        {"\r\n", {""}},
        {"", {}},
    };
    for (const auto& c : cases) {
        list.SetText(c.text);
        EXPECT_EQ(Lines(list), c.lines) << c.text;
    }
}

TEST(StringList, NamesAndValues)
{
    TStringList list;
    list.SetText("Host=example\r\nport = 80\r\nplain\r\nempty=\r\n=nameless\r\nhost=second\r\n");
    EXPECT_EQ(list.Names(0), "Host");
    EXPECT_EQ(list.Names(2), "");
    EXPECT_EQ(list.Values("HOST"), "example");  // the first line wins
    EXPECT_EQ(list.Values("port"), "") << "the name is the bytes before '='";
    EXPECT_EQ(list.Values("port "), " 80");
    EXPECT_EQ(list.IndexOfName("empty"), 3);
    EXPECT_EQ(list.ValueFromIndex(2), "");
    EXPECT_EQ(list.ValueFromIndex(4), "nameless");

    list.SetValue("host", "changed");
    EXPECT_EQ(list[0], "host=changed");
    list.SetValue("new", "1");
    EXPECT_EQ(list[list.Count() - 1], "new=1");
    list.SetValue("plain", "");  // not a name: nothing to delete
    list.SetValue("Empty", "");
    EXPECT_EQ(list.IndexOfName("empty"), -1);
    EXPECT_EQ(list.IndexOf("plain"), 2);
}

TEST(StringList, CommaText)
{
    TStringList list;
    list.Add("a");
    list.Add("b c");
    list.Add("say \"hi\"");
    list.Add("");
    list.Add("x,y");
    EXPECT_EQ(list.CommaText(), "a,\"b c\",\"say \"\"hi\"\"\",,\"x,y\"");

    TStringList back;
    back.SetCommaText(list.CommaText());
    EXPECT_EQ(Lines(back), Lines(list));
    back.SetCommaText(" one two, \"three four\" ,");
    EXPECT_EQ(Lines(back), (V{"one", "two", "three four", ""}));
    back.SetCommaText(std::string("a\0b,\"c", 6));  // NUL separates; an open quote runs to the end
    EXPECT_EQ(Lines(back), (V{"a", "b", "c"}));
}

TEST(StringList, LoadAcceptsAnyLineEndAndSaveWritesText)
{
    QTemporaryDir dir;
    const CodePageString path = dir.path().toStdString() + "/list.txt";
    WriteFileAtomic(path, "one\rtwo\nthree\r\nfour");
    TStringList list;
    list.LoadFromFile(path);
    EXPECT_EQ(Lines(list), (V{"one", "two", "three", "four"}));
    list.SaveToFile(path);
    EXPECT_EQ(ReadFileBytes(path), "one\r\ntwo\r\nthree\r\nfour\r\n");

    TMemoryStream stream;
    stream.WriteBuffer("skip|a\nb", 8);
    stream.SetPosition(5);
    list.LoadFromStream(stream);  // from the position on
    EXPECT_EQ(Lines(list), (V{"a", "b"}));

    EXPECT_THROW(list.LoadFromFile(path + ".missing"), EFOpenError);
    EXPECT_THROW(list.SaveToFile(dir.path().toStdString() + "/no/such/folder/x.txt"), EFCreateError);
}

TEST(StringList, OnChangeFiresOncePerUpdate)
{
    TStringList list;
    int changes = 0;
    list.OnChange = [&](TObject* sender) {
        EXPECT_EQ(sender, &list);
        ++changes;
    };
    list.Add("a");
    list.Add("b");
    EXPECT_EQ(changes, 2);
    list.BeginUpdate();
    list.BeginUpdate();
    list.Add("c");
    list.Delete(0);
    list.EndUpdate();
    EXPECT_EQ(changes, 2);
    list.EndUpdate();
    EXPECT_EQ(changes, 3);
    list.SetText("x\r\ny\r\nz\r\n");
    EXPECT_EQ(changes, 4);
}

TEST(StringList, AssignCustomSortAndObjects)
{
    TObject tagA, tagB;
    TStringList source;
    source.AddObject("10", &tagA);
    source.AddObject("9", &tagB);
    source.Add("100");
    TStringList copy;
    copy.Add("gone");
    copy.Assign(source);
    EXPECT_EQ(Lines(copy), (V{"10", "9", "100"}));
    EXPECT_EQ(copy.Objects(1), &tagB);

    copy.CustomSort([](TStringList* l, int a, int b) {
        return std::stoi(l->Strings(a)) - std::stoi(l->Strings(b));
    });
    EXPECT_EQ(Lines(copy), (V{"9", "10", "100"}));
    EXPECT_EQ(copy.Objects(0), &tagB);
    EXPECT_EQ(copy.IndexOfObject(&tagA), 1);
    copy.Exchange(0, 2);
    EXPECT_EQ(Lines(copy), (V{"100", "10", "9"}));
    copy.Move(0, 2);
    EXPECT_EQ(Lines(copy), (V{"10", "9", "100"}));
}
