#include <QTemporaryDir>

#include <cstring>

#include <gtest/gtest.h>

#include "classlib/Classes.h"

TEST(Stream, MemoryStreamReadsWritesAndSeeks)
{
    TMemoryStream m;
    m.WriteBuffer("hello world", 11);
    EXPECT_EQ(m.Size(), 11);
    EXPECT_EQ(m.Position(), 11);
    EXPECT_EQ(m.Seek(-5, soEnd), 6);
    char buffer[8] = {};
    EXPECT_EQ(m.Read(buffer, 8), 5);
    EXPECT_EQ(std::string(buffer, 5), "world");
    EXPECT_EQ(m.Read(buffer, 8), 0);
    EXPECT_THROW(m.ReadBuffer(buffer, 1), EReadError);

    m.SetPosition(13);  // past the end: a write fills the gap with zeros
    m.WriteBuffer("!", 1);
    EXPECT_EQ(m.DataString(), std::string("hello world\0\0!", 14));
    m.SetSize(5);
    EXPECT_EQ(m.Position(), 5);
    EXPECT_EQ(std::string(m.Memory(), 5), "hello");

    TMemoryStream copy;
    EXPECT_EQ(copy.CopyFrom(m, 0), 5);  // 0: the whole source from its start
    m.SetPosition(1);
    EXPECT_EQ(copy.CopyFrom(m, 3), 3);
    EXPECT_EQ(copy.DataString(), "helloell");
    m.SetPosition(4);
    EXPECT_THROW(copy.CopyFrom(m, 2), EReadError);
    copy.Clear();
    EXPECT_EQ(copy.Size(), 0);
}

TEST(Stream, FileStreamModesAndErrors)
{
    QTemporaryDir dir;
    const CodePageString path = dir.path().toStdString() + "/file.bin";
    try {
        TFileStream missing(path, fmOpenRead | fmShareDenyNone);
        FAIL() << "no exception";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message, "Cannot open file \"" + path + "\". No such file or directory");
    }
    try {
        TFileStream nowhere(dir.path().toStdString() + "/no/x.bin", fmCreate);
        FAIL() << "no exception";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message.rfind("Cannot create file \"", 0), 0u);
    }
    EXPECT_THROW(TFileStream(dir.path().toStdString(), fmOpenRead), EFOpenError) << "a folder is no file";

    {
        TFileStream out(path, fmCreate);
        out.WriteBuffer("0123456789", 10);
        EXPECT_EQ(out.Size(), 10);
        EXPECT_EQ(out.FileName(), path);
    }
    {
        TFileStream rw(path, fmOpenReadWrite | fmShareExclusive);
        rw.Seek(2, soBeginning);
        rw.WriteBuffer("ab", 2);
        rw.SetSize(6);
        EXPECT_EQ(rw.Position(), 6);
    }
    {
        TFileStream in(path, fmOpenRead);
        char buffer[16] = {};
        EXPECT_EQ(in.Read(buffer, 16), 6);
        EXPECT_EQ(std::string(buffer, 6), "01ab45");
        EXPECT_THROW(in.WriteBuffer("x", 1), EWriteError);
    }
    {
        TFileStream again(path, fmCreate);  // truncates
        EXPECT_EQ(again.Size(), 0);
    }

    TMemoryStream m;
    m.WriteBuffer("saved", 5);
    m.SaveToFile(path);
    TMemoryStream back;
    back.LoadFromFile(path);
    EXPECT_EQ(back.DataString(), "saved");
    EXPECT_EQ(back.Position(), 0);
    EXPECT_THROW(back.LoadFromFile(path + ".none"), EFOpenError);
}

namespace {

// A stream that hands out a few bytes, then fails as a device would: Read
// and Seek give -1.
class TBrokenStream : public TStream {
public:
    std::int64_t Read(void* buffer, std::int64_t count) override
    {
        if (FGiven || count < 3)
            return -1;
        FGiven = true;
        std::memcpy(buffer, "a\nb", 3);
        return 3;
    }
    std::int64_t Write(const void*, std::int64_t) override { return -1; }
    std::int64_t Seek(std::int64_t, TSeekOrigin) override { return -1; }

private:
    bool FGiven = false;
};

}  // namespace

TEST(Stream, ReadErrorIsNoEndOfData)
{
    TStringList list;
    list.Add("old");
    TBrokenStream lines;
    EXPECT_THROW(list.LoadFromStream(lines), EReadError);
    ASSERT_EQ(list.Count(), 1) << "what came before the error is no whole file";
    EXPECT_EQ(list.Strings(0), "old");

    TMemoryStream memory;
    memory.WriteBuffer("keep", 4);
    TBrokenStream sizeless;
    EXPECT_THROW(memory.LoadFromStream(sizeless), EReadError);
    EXPECT_EQ(memory.DataString(), "keep");
}
