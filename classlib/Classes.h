// Components, string lists and streams of the class library.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "classlib/Strings.h"

class TObject {
public:
    virtual ~TObject() = default;
};

class TPersistent : public TObject {};

using TNotifyEvent = std::function<void(TObject* Sender)>;

// Calls an event's handler, when one is set, through a copy of it: a handler
// that clears or replaces its own event, or frees the object that holds it,
// still runs to its end. True when a handler was called.
template <class Event, class... Args>
bool FireEvent(const Event& event, Args&&... args)
{
    if (!event)
        return false;
    const Event handler = event;
    handler(std::forward<Args>(args)...);
    return true;
}

// Stream file errors and list index errors.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};
class EFOpenError : public EStreamError {  // "Cannot open file \"<name>\". <reason>"
public:
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {  // "Cannot create file \"<name>\". <reason>"
public:
    using EStreamError::EStreamError;
};
class EReadError : public EStreamError {  // "Stream read error"
public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {  // "Stream write error"
public:
    using EStreamError::EStreamError;
};
class EListError : public Exception {  // "List index out of bounds (<i>)"
public:
    using Exception::Exception;
};
class EStringListError : public EListError {
public:
    using EListError::EListError;
};

enum class TOperation { opInsert, opRemove };

// A component is owned by at most one other component, which frees it.
class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return FOwner; }
    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* Components(int index) const;  // EListError when out of range
    TComponent* FindComponent(const CodePageString& name) const;  // ignores case
    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);
    // Frees every owned component now, last inserted first. A derived class
    // whose components refer to its own members calls this in its destructor.
    void DestroyComponents();
    // Asks to be told (Notification opRemove) when `component` is freed,
    // whoever owns it. The link is dropped when either side goes.
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);

    CodePageString Name;
    int Tag = 0;

protected:
    // Told when a component is inserted into or removed from this one, and
    // when a component this one asked about is freed. The default passes
    // the news on to every owned component; overrides call it.
    virtual void Notification(TComponent* component, TOperation operation);

private:
    TComponent* FOwner = nullptr;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
};

// --- streams ---------------------------------------------------------------

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };
constexpr int soFromBeginning = 0;
constexpr int soFromCurrent = 1;
constexpr int soFromEnd = 2;

// File stream modes: one access mode or'ed with one share mode, or fmCreate.
// Share modes are accepted and not enforced (the system never relies on a
// denied share).
constexpr unsigned short fmOpenRead = 0x0000;
constexpr unsigned short fmOpenWrite = 0x0001;
constexpr unsigned short fmOpenReadWrite = 0x0002;
constexpr unsigned short fmShareCompat = 0x0000;
constexpr unsigned short fmShareExclusive = 0x0010;
constexpr unsigned short fmShareDenyWrite = 0x0020;
constexpr unsigned short fmShareDenyRead = 0x0030;
constexpr unsigned short fmShareDenyNone = 0x0040;
constexpr unsigned short fmCreate = 0xFF00;  // create or truncate, read and write

class TStream : public TObject {
public:
    // Byte counts moved; fewer than asked at the end of the data.
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    // The new position.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

    std::int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(std::int64_t position) { Seek(position, soBeginning); }
    virtual std::int64_t Size();
    virtual void SetSize(std::int64_t size);

    void ReadBuffer(void* buffer, std::int64_t count);         // EReadError when short
    void WriteBuffer(const void* buffer, std::int64_t count);  // EWriteError when short
    // Copies count bytes from source's position; count 0 copies the whole
    // source from its start. Returns the bytes copied.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

class TMemoryStream : public TStream {
public:
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(FData.size()); }
    void SetSize(std::int64_t size) override;  // new bytes are zero; position kept

    char* Memory() { return FData.data(); }
    const char* Memory() const { return FData.data(); }
    // The bytes as a string (tests and callers that want a copy).
    const std::string& DataString() const { return FData; }
    void Clear();
    void LoadFromStream(TStream& stream);  // whole stream, position 0 after
    void LoadFromFile(const CodePageString& fileName);  // EFOpenError
    void SaveToStream(TStream& stream);
    void SaveToFile(const CodePageString& fileName);    // EFCreateError

private:
    std::string FData;
    std::int64_t FPosition = 0;
};

// A file opened with a POSIX descriptor, closed by the destructor.
class TFileStream : public TStream {
public:
    // EFOpenError when an existing file can't be opened, EFCreateError when
    // fmCreate fails.
    TFileStream(const CodePageString& fileName, unsigned short mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    void SetSize(std::int64_t size) override;  // EWriteError on failure

    const CodePageString& FileName() const { return FFileName; }
    int Handle() const { return FHandle; }

private:
    CodePageString FFileName;
    int FHandle = -1;
};

// --- string lists ------------------------------------------------------------

// A list of byte strings, each with an optional object pointer (not owned).
// Derived classes supply storage through Count, Get, Put, GetObject,
// PutObject, Insert, Delete and Clear (and call Changing/Changed around
// their changes); everything else is built on those.
class TStrings : public TPersistent {
public:
    TStrings() = default;
    TStrings(const TStrings&) = delete;
    TStrings& operator=(const TStrings&) = delete;

    virtual int Count() const = 0;
    CodePageString Strings(int index) const { return Get(index); }
    void SetStrings(int index, const CodePageString& s) { Put(index, s); }
    CodePageString operator[](int index) const { return Get(index); }
    TObject* Objects(int index) const { return GetObject(index); }
    void SetObjects(int index, TObject* object) { PutObject(index, object); }

    virtual int Add(const CodePageString& s);  // returns the new line's index
    virtual int AddObject(const CodePageString& s, TObject* object);
    virtual void Insert(int index, const CodePageString& s) = 0;
    virtual void InsertObject(int index, const CodePageString& s, TObject* object);
    virtual void Delete(int index) = 0;
    virtual void Clear() = 0;
    virtual void Exchange(int index1, int index2);
    void Move(int curIndex, int newIndex);
    virtual int IndexOf(const CodePageString& s) const;  // ASCII case folded
    int IndexOfObject(const TObject* object) const;

    // "name=value" lines. A line without "=" has no name.
    int IndexOfName(const CodePageString& name) const;  // ignores case
    CodePageString Names(int index) const;
    CodePageString Values(const CodePageString& name) const;
    // An empty value deletes the line; a new name is added at the end.
    void SetValue(const CodePageString& name, const CodePageString& value);
    CodePageString ValueFromIndex(int index) const;  // empty for a line without "="

    // Every line followed by CR LF, the last one too.
    CodePageString Text() const;
    // Splits on CR LF, LF or CR; a final line break adds no empty line.
    void SetText(const CodePageString& text);
    // Comma separated; lines holding blanks, control bytes, quotes or commas
    // are double-quoted with inner quotes doubled.
    CodePageString CommaText() const;
    // Blanks separate like commas outside quotes.
    void SetCommaText(const CodePageString& text);

    virtual void Assign(const TStrings& source);  // lines and objects
    void AddStrings(const TStrings& strings);
    void AddStrings(std::vector<CodePageString> lines);  // at once, as the loaders add theirs
    bool Equals(const TStrings& other) const;  // same lines, byte for byte

    // Accepts CR LF, LF and CR; Save writes Text. SaveToFile goes through a
    // temporary file and a rename, so a failed save leaves the old file.
    void LoadFromFile(const CodePageString& fileName);
    void SaveToFile(const CodePageString& fileName) const;
    void LoadFromStream(TStream& stream);  // from the stream's position to its end
    void SaveToStream(TStream& stream) const;

    // OnChange fires after each change, or once at the outermost EndUpdate.
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return FUpdateCount; }
    // Counts every change to the lines, inside an update too: a reader that
    // keeps something made from the lines knows whether it still holds.
    std::uint64_t ChangeCount() const { return FChangeCount; }

    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

protected:
    virtual CodePageString Get(int index) const = 0;
    virtual void Put(int index, const CodePageString& s);
    virtual TObject* GetObject(int index) const;
    virtual void PutObject(int index, TObject* object);
    // Told when the outermost BeginUpdate starts and EndUpdate ends.
    virtual void SetUpdateState(bool updating);
    // Adds many lines at once (SetText, Assign, AddStrings and the loaders);
    // objects is empty or one per line. The default adds them one by one.
    virtual void AddLines(std::vector<CodePageString> lines, std::vector<TObject*> objects);
    void Changing();
    void Changed();
    [[noreturn]] static void ListIndexError(int index);

private:
    int FUpdateCount = 0;
    std::uint64_t FChangeCount = 0;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList;
// <0, 0, >0 for the lines at index1 and index2.
using TStringListSortCompare = std::function<int(TStringList* list, int index1, int index2)>;

// Lines compare with CompareText (ASCII case folded, then byte order).
// A sorted list keeps its order on Add; with dupIgnore an equal line is
// kept once (the first one added), with dupError a second one throws
// EStringListError "Duplicates not allowed".
class TStringList : public TStrings {
public:
    TStringList() = default;
    ~TStringList() override;

    int Count() const override { return static_cast<int>(FItems.size()); }
    int Add(const CodePageString& s) override;
    int AddObject(const CodePageString& s, TObject* object) override;
    void Insert(int index, const CodePageString& s) override;  // refused on a sorted list
    void InsertObject(int index, const CodePageString& s, TObject* object) override;
    void Delete(int index) override;
    void Clear() override;
    void Exchange(int index1, int index2) override;
    int IndexOf(const CodePageString& s) const override;  // binary search when sorted

    // Binary search of a sorted list: true when found; index is the line's
    // position, or where it would go. With dupAccept the first equal line.
    bool Find(const CodePageString& s, int& index) const;
    void Sort();  // stable
    void CustomSort(const TStringListSortCompare& compare);  // stable

    bool Sorted() const { return FSorted; }
    void SetSorted(bool sorted);  // true sorts the lines
    TDuplicates Duplicates = dupIgnore;

    // Reference to a line, without a copy.
    const CodePageString& StringRef(int index) const;

protected:
    CodePageString Get(int index) const override;
    void Put(int index, const CodePageString& s) override;  // refused on a sorted list
    TObject* GetObject(int index) const override;
    void PutObject(int index, TObject* object) override;
    void AddLines(std::vector<CodePageString> lines, std::vector<TObject*> objects) override;

private:
    struct Item {
        CodePageString s;
        TObject* object = nullptr;
    };
    void CheckIndex(int index) const;
    void InsertItem(int index, const CodePageString& s, TObject* object);
    // Adds many lines to a sorted list in one sort and merge, with the same
    // result as adding them one by one.
    void AddSortedBulk(std::vector<CodePageString> added, std::vector<TObject*> objects);

    std::vector<Item> FItems;
    bool FSorted = false;
};
