#include "classlib/Classes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "classlib/Files.h"
#include "classlib/Strings.h"

namespace {

const char kSortedListError[] = "Operation not allowed on sorted list";
const char kDuplicateError[] = "Duplicates not allowed";

// Runs EndUpdate however the block is left.
class UpdateScope {
public:
    explicit UpdateScope(TStrings& strings) : FStrings(strings) { FStrings.BeginUpdate(); }
    ~UpdateScope() { FStrings.EndUpdate(); }
    UpdateScope(const UpdateScope&) = delete;
    UpdateScope& operator=(const UpdateScope&) = delete;

private:
    TStrings& FStrings;
};

std::vector<CodePageString> SplitLines(const CodePageString& text)
{
    std::vector<CodePageString> lines;
    lines.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    ForEachLine(text, [&](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

}  // namespace

// --- TComponent ---------------------------------------------------------------

TComponent::TComponent(TComponent* AOwner)
{
    if (AOwner)
        AOwner->InsertComponent(this);
}

TComponent::~TComponent()
{
    // Tell everyone who asked, then drop the links both ways.
    while (!FFreeNotifies.empty()) {
        TComponent* other = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        auto& back = other->FFreeNotifies;
        back.erase(std::remove(back.begin(), back.end(), this), back.end());
        other->Notification(this, TOperation::opRemove);
    }
    DestroyComponents();
    if (FOwner)
        FOwner->RemoveComponent(this);
}

TComponent* TComponent::Components(int index) const
{
    if (index < 0 || index >= ComponentCount())
        throw EListError("List index out of bounds (" + IntToStr(index) + ")");
    return FComponents[static_cast<std::size_t>(index)];
}

TComponent* TComponent::FindComponent(const CodePageString& name) const
{
    if (name.empty())
        return nullptr;
    for (TComponent* component : FComponents)
        if (SameText(component->Name, name))
            return component;
    return nullptr;
}

void TComponent::InsertComponent(TComponent* component)
{
    if (!component || component->FOwner == this)
        return;
    if (component->FOwner)
        component->FOwner->RemoveComponent(component);
    FComponents.push_back(component);
    component->FOwner = this;
    Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component)
{
    if (!component || component->FOwner != this)
        return;
    Notification(component, TOperation::opRemove);
    FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), component), FComponents.end());
    component->FOwner = nullptr;
}

void TComponent::DestroyComponents()
{
    while (!FComponents.empty()) {
        TComponent* component = FComponents.back();
        // Detached first, so its destructor does not come back to this list.
        RemoveComponent(component);
        delete component;
    }
}

void TComponent::FreeNotification(TComponent* component)
{
    if (!component || component == this)
        return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), component) == FFreeNotifies.end())
        FFreeNotifies.push_back(component);
    auto& back = component->FFreeNotifies;
    if (std::find(back.begin(), back.end(), this) == back.end())
        back.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* component)
{
    if (!component)
        return;
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), component), FFreeNotifies.end());
    auto& back = component->FFreeNotifies;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
}

void TComponent::Notification(TComponent* component, TOperation operation)
{
    // A copy: a component told of a removal may free others.
    const std::vector<TComponent*> owned = FComponents;
    for (auto it = owned.rbegin(); it != owned.rend(); ++it) {
        if (*it == component)
            continue;
        if (std::find(FComponents.begin(), FComponents.end(), *it) != FComponents.end())
            (*it)->Notification(component, operation);
    }
}

// --- TStream ------------------------------------------------------------------

std::int64_t TStream::Size()
{
    const std::int64_t position = Seek(0, soCurrent);
    const std::int64_t size = Seek(0, soEnd);
    Seek(position, soBeginning);
    return size;
}

void TStream::SetSize(std::int64_t)
{
}

void TStream::ReadBuffer(void* buffer, std::int64_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count)
{
    if (count <= 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    const std::int64_t total = count;
    std::vector<char> buffer(static_cast<std::size_t>(std::min<std::int64_t>(count, 64 * 1024)));
    while (count > 0) {
        const std::int64_t chunk = std::min<std::int64_t>(count, static_cast<std::int64_t>(buffer.size()));
        source.ReadBuffer(buffer.data(), chunk);
        WriteBuffer(buffer.data(), chunk);
        count -= chunk;
    }
    return total;
}

// --- TMemoryStream --------------------------------------------------------------

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count)
{
    const std::int64_t size = Size();
    if (count <= 0 || FPosition >= size)
        return 0;
    const std::int64_t n = std::min(count, size - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, static_cast<std::size_t>(n));
    FPosition += n;
    return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count)
{
    if (count <= 0)
        return 0;
    const std::int64_t end = FPosition + count;
    if (end > Size())
        FData.resize(static_cast<std::size_t>(end));
    std::memcpy(FData.data() + FPosition, buffer, static_cast<std::size_t>(count));
    FPosition = end;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    std::int64_t base = 0;
    if (origin == soCurrent)
        base = FPosition;
    else if (origin == soEnd)
        base = Size();
    FPosition = std::max<std::int64_t>(0, base + offset);
    return FPosition;
}

void TMemoryStream::SetSize(std::int64_t size)
{
    size = std::max<std::int64_t>(0, size);
    FData.resize(static_cast<std::size_t>(size));
    if (FPosition > size)
        FPosition = size;
}

void TMemoryStream::Clear()
{
    FData.clear();
    FData.shrink_to_fit();
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream)
{
    stream.SetPosition(0);
    const std::int64_t count = stream.Size();
    if (count < 0)
        throw EReadError("Stream read error");  // a stream that cannot tell its size
    std::string data(static_cast<std::size_t>(count), '\0');
    stream.ReadBuffer(data.data(), count);
    FData.swap(data);
    FPosition = 0;
}

void TMemoryStream::LoadFromFile(const CodePageString& fileName)
{
    FData = ReadFileBytes(fileName);
    FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream& stream)
{
    stream.WriteBuffer(FData.data(), Size());
}

void TMemoryStream::SaveToFile(const CodePageString& fileName)
{
    WriteFileAtomic(fileName, FData);
}

// --- TFileStream ----------------------------------------------------------------

TFileStream::TFileStream(const CodePageString& fileName, unsigned short mode) : FFileName(fileName)
{
    const bool create = (mode & fmCreate) == fmCreate;
    int flags = O_CLOEXEC;
    if (create)
        flags |= O_RDWR | O_CREAT | O_TRUNC;
    else if ((mode & 3) == fmOpenWrite)
        flags |= O_WRONLY;
    else if ((mode & 3) == fmOpenReadWrite)
        flags |= O_RDWR;
    else
        flags |= O_RDONLY;

    // Without blocking: a named pipe with no peer would hold the open forever.
    int fd;
    do
        fd = ::open(fileName.c_str(), flags | O_NONBLOCK, 0666);
    while (fd < 0 && errno == EINTR);
    int error = errno;
    if (fd >= 0) {
        // Only a regular file is streamed: a folder opens on POSIX, and a
        // pipe or a device may block a read or never end.
        struct stat st {};
        if (::fstat(fd, &st) != 0)
            error = errno;
        else if (!S_ISREG(st.st_mode))
            error = S_ISDIR(st.st_mode) ? EISDIR : NotARegularFile;
        else
            error = 0;
        if (error == 0)
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        else {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        if (create)
            throw EFCreateError(FileError("Cannot create file", fileName, error));
        throw EFOpenError(FileError("Cannot open file", fileName, error));
    }
    FHandle = fd;
}

TFileStream::~TFileStream()
{
    if (FHandle >= 0)
        ::close(FHandle);
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count)
{
    std::int64_t done = 0;
    char* out = static_cast<char*>(buffer);
    while (done < count) {
        const ssize_t n = ::read(FHandle, out + done, static_cast<std::size_t>(count - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return done > 0 ? done : -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count)
{
    std::int64_t done = 0;
    const char* in = static_cast<const char*>(buffer);
    while (done < count) {
        const ssize_t n = ::write(FHandle, in + done, static_cast<std::size_t>(count - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return done > 0 ? done : -1;
        done += n;
    }
    return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    const int whence = origin == soCurrent ? SEEK_CUR : origin == soEnd ? SEEK_END : SEEK_SET;
    return ::lseek(FHandle, offset, whence);
}

void TFileStream::SetSize(std::int64_t size)
{
    if (size < 0 || ::ftruncate(FHandle, size) != 0)
        throw EWriteError("Stream write error");
    Seek(size, soBeginning);
}

// --- TStrings -------------------------------------------------------------------

void TStrings::ListIndexError(int index)
{
    throw EStringListError("List index out of bounds (" + IntToStr(index) + ")");
}

int TStrings::Add(const CodePageString& s)
{
    const int index = Count();
    Insert(index, s);
    return index;
}

int TStrings::AddObject(const CodePageString& s, TObject* object)
{
    const int index = Add(s);
    PutObject(index, object);
    return index;
}

void TStrings::InsertObject(int index, const CodePageString& s, TObject* object)
{
    Insert(index, s);
    PutObject(index, object);
}

void TStrings::Put(int index, const CodePageString& s)
{
    TObject* object = GetObject(index);
    UpdateScope scope(*this);
    Delete(index);
    InsertObject(index, s, object);
}

TObject* TStrings::GetObject(int) const
{
    return nullptr;
}

void TStrings::PutObject(int, TObject*)
{
}

void TStrings::Exchange(int index1, int index2)
{
    UpdateScope scope(*this);
    const CodePageString s1 = Get(index1);
    TObject* o1 = GetObject(index1);
    Put(index1, Get(index2));
    PutObject(index1, GetObject(index2));
    Put(index2, s1);
    PutObject(index2, o1);
}

void TStrings::Move(int curIndex, int newIndex)
{
    if (curIndex == newIndex)
        return;
    UpdateScope scope(*this);
    const CodePageString s = Get(curIndex);
    TObject* object = GetObject(curIndex);
    Delete(curIndex);
    InsertObject(newIndex, s, object);
}

int TStrings::IndexOf(const CodePageString& s) const
{
    const int n = Count();
    for (int i = 0; i < n; ++i)
        if (SameText(Get(i), s))
            return i;
    return -1;
}

int TStrings::IndexOfObject(const TObject* object) const
{
    const int n = Count();
    for (int i = 0; i < n; ++i)
        if (GetObject(i) == object)
            return i;
    return -1;
}

int TStrings::IndexOfName(const CodePageString& name) const
{
    const int n = Count();
    for (int i = 0; i < n; ++i) {
        const CodePageString line = Get(i);
        const std::size_t eq = line.find('=');
        if (eq != CodePageString::npos && eq == name.size() && SameText(line.substr(0, eq), name))
            return i;
    }
    return -1;
}

CodePageString TStrings::Names(int index) const
{
    const CodePageString line = Get(index);
    const std::size_t eq = line.find('=');
    return eq == CodePageString::npos ? CodePageString() : line.substr(0, eq);
}

CodePageString TStrings::Values(const CodePageString& name) const
{
    const int index = IndexOfName(name);
    return index < 0 ? CodePageString() : ValueFromIndex(index);
}

void TStrings::SetValue(const CodePageString& name, const CodePageString& value)
{
    const int index = IndexOfName(name);
    if (value.empty()) {
        if (index >= 0)
            Delete(index);
    } else if (index < 0) {
        Add(name + "=" + value);
    } else {
        Put(index, name + "=" + value);
    }
}

CodePageString TStrings::ValueFromIndex(int index) const
{
    if (index < 0)
        return CodePageString();
    const CodePageString line = Get(index);
    const std::size_t eq = line.find('=');
    return eq == CodePageString::npos ? CodePageString() : line.substr(eq + 1);
}

CodePageString TStrings::Text() const
{
    const int n = Count();
    CodePageString text;
    for (int i = 0; i < n; ++i) {
        text += Get(i);
        text += "\r\n";
    }
    return text;
}

void TStrings::SetText(const CodePageString& text)
{
    std::vector<CodePageString> lines = SplitLines(text);
    UpdateScope scope(*this);
    Clear();
    AddLines(std::move(lines), {});
}

CodePageString TStrings::CommaText() const
{
    const int n = Count();
    if (n == 1 && Get(0).empty())
        return "\"\"";
    CodePageString result;
    for (int i = 0; i < n; ++i) {
        const CodePageString s = Get(i);
        const bool quote = std::any_of(s.begin(), s.end(), [](char c) { return IsBlank(c) || c == '"' || c == ','; });
        if (i > 0)
            result += ',';
        if (!quote) {
            result += s;
            continue;
        }
        result += '"';
        for (char c : s) {
            if (c == '"')
                result += '"';
            result += c;
        }
        result += '"';
    }
    return result;
}

void TStrings::SetCommaText(const CodePageString& text)
{
    std::vector<CodePageString> items;
    const std::size_t n = text.size();
    std::size_t p = 0;
    auto skipBlanks = [&] {
        while (p < n && IsBlank(text[p]))
            ++p;
    };
    skipBlanks();
    while (p < n) {
        CodePageString item;
        if (text[p] == '"') {
            ++p;
            while (p < n) {
                if (text[p] == '"') {
                    if (p + 1 < n && text[p + 1] == '"') {
                        item += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            const std::size_t start = p;
            while (p < n && !IsBlank(text[p]) && text[p] != ',')
                ++p;
            item.assign(text, start, p - start);
        }
        items.push_back(std::move(item));
        skipBlanks();
        if (p < n && text[p] == ',') {
            // A comma at the very end stands for one more, empty item.
            if (p + 1 == n)
                items.emplace_back();
            ++p;
            skipBlanks();
        }
    }
    UpdateScope scope(*this);
    Clear();
    AddLines(std::move(items), {});
}

void TStrings::Assign(const TStrings& source)
{
    if (&source == this)
        return;
    UpdateScope scope(*this);
    Clear();
    AddStrings(source);
}

void TStrings::AddStrings(std::vector<CodePageString> lines)
{
    UpdateScope scope(*this);
    AddLines(std::move(lines), {});
}

void TStrings::AddStrings(const TStrings& strings)
{
    const int n = strings.Count();
    std::vector<CodePageString> lines;
    std::vector<TObject*> objects;
    lines.reserve(static_cast<std::size_t>(n));
    objects.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        lines.push_back(strings.Get(i));
        objects.push_back(strings.GetObject(i));
    }
    UpdateScope scope(*this);
    AddLines(std::move(lines), std::move(objects));
}

bool TStrings::Equals(const TStrings& other) const
{
    const int n = Count();
    if (n != other.Count())
        return false;
    for (int i = 0; i < n; ++i)
        if (Get(i) != other.Get(i))
            return false;
    return true;
}

void TStrings::LoadFromFile(const CodePageString& fileName)
{
    SetText(ReadFileBytes(fileName));
}

void TStrings::SaveToFile(const CodePageString& fileName) const
{
    WriteFileAtomic(fileName, Text());
}

void TStrings::LoadFromStream(TStream& stream)
{
    std::string data;
    char buffer[64 * 1024];
    for (;;) {
        const std::int64_t n = stream.Read(buffer, sizeof buffer);
        if (n < 0)
            throw EReadError("Stream read error");  // not the end: the list keeps what it had
        if (n == 0)
            break;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    SetText(data);
}

void TStrings::SaveToStream(TStream& stream) const
{
    const CodePageString text = Text();
    stream.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
}

void TStrings::BeginUpdate()
{
    if (FUpdateCount == 0)
        SetUpdateState(true);
    ++FUpdateCount;
}

void TStrings::EndUpdate()
{
    if (FUpdateCount == 0)
        return;
    --FUpdateCount;
    if (FUpdateCount == 0)
        SetUpdateState(false);
}

void TStrings::SetUpdateState(bool updating)
{
    if (updating)
        Changing();
    else
        Changed();
}

void TStrings::AddLines(std::vector<CodePageString> lines, std::vector<TObject*> objects)
{
    for (std::size_t i = 0; i < lines.size(); ++i)
        AddObject(lines[i], i < objects.size() ? objects[i] : nullptr);
}

void TStrings::Changing()
{
    ++FChangeCount;
    if (FUpdateCount == 0)
        FireEvent(OnChanging, this);
}

void TStrings::Changed()
{
    // Counted after the change as well: what a handler of the change before
    // it gathered from the old lines is then known to be stale.
    ++FChangeCount;
    if (FUpdateCount == 0)
        FireEvent(OnChange, this);
}

// --- TStringList ------------------------------------------------------------------

TStringList::~TStringList() = default;

void TStringList::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        ListIndexError(index);
}

const CodePageString& TStringList::StringRef(int index) const
{
    CheckIndex(index);
    return FItems[static_cast<std::size_t>(index)].s;
}

CodePageString TStringList::Get(int index) const
{
    return StringRef(index);
}

void TStringList::Put(int index, const CodePageString& s)
{
    if (FSorted)
        throw EStringListError(kSortedListError);
    CheckIndex(index);
    Changing();
    FItems[static_cast<std::size_t>(index)].s = s;
    Changed();
}

TObject* TStringList::GetObject(int index) const
{
    CheckIndex(index);
    return FItems[static_cast<std::size_t>(index)].object;
}

void TStringList::PutObject(int index, TObject* object)
{
    CheckIndex(index);
    Changing();
    FItems[static_cast<std::size_t>(index)].object = object;
    Changed();
}

void TStringList::InsertItem(int index, const CodePageString& s, TObject* object)
{
    Changing();
    FItems.insert(FItems.begin() + index, Item{s, object});
    Changed();
}

int TStringList::Add(const CodePageString& s)
{
    return AddObject(s, nullptr);
}

int TStringList::AddObject(const CodePageString& s, TObject* object)
{
    int index = Count();
    if (FSorted && Find(s, index)) {
        if (Duplicates == dupIgnore)
            return index;
        if (Duplicates == dupError)
            throw EStringListError(kDuplicateError);
    }
    InsertItem(index, s, object);
    return index;
}

void TStringList::Insert(int index, const CodePageString& s)
{
    InsertObject(index, s, nullptr);
}

void TStringList::InsertObject(int index, const CodePageString& s, TObject* object)
{
    if (FSorted)
        throw EStringListError(kSortedListError);
    if (index < 0 || index > Count())
        ListIndexError(index);
    InsertItem(index, s, object);
}

void TStringList::Delete(int index)
{
    CheckIndex(index);
    Changing();
    FItems.erase(FItems.begin() + index);
    Changed();
}

void TStringList::Clear()
{
    if (FItems.empty())
        return;
    Changing();
    FItems.clear();
    Changed();
}

void TStringList::Exchange(int index1, int index2)
{
    CheckIndex(index1);
    CheckIndex(index2);
    Changing();
    std::swap(FItems[static_cast<std::size_t>(index1)], FItems[static_cast<std::size_t>(index2)]);
    Changed();
}

bool TStringList::Find(const CodePageString& s, int& index) const
{
    // The first line not less than s.
    int low = 0;
    int high = Count() - 1;
    bool found = false;
    while (low <= high) {
        const int mid = low + (high - low) / 2;
        const int c = CompareText(FItems[static_cast<std::size_t>(mid)].s, s);
        if (c < 0) {
            low = mid + 1;
        } else {
            high = mid - 1;
            if (c == 0)
                found = true;
        }
    }
    index = low;
    return found;
}

int TStringList::IndexOf(const CodePageString& s) const
{
    if (!FSorted)
        return TStrings::IndexOf(s);
    int index = 0;
    return Find(s, index) ? index : -1;
}

void TStringList::Sort()
{
    CustomSort([](TStringList* list, int a, int b) {
        return CompareText(list->FItems[static_cast<std::size_t>(a)].s, list->FItems[static_cast<std::size_t>(b)].s);
    });
}

void TStringList::CustomSort(const TStringListSortCompare& compare)
{
    if (Count() < 2)
        return;
    // The comparer sees the lines at their places before the sort.
    std::vector<int> order(FItems.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compare(this, a, b) < 0; });
    std::vector<Item> sorted;
    sorted.reserve(FItems.size());
    for (int i : order)
        sorted.push_back(std::move(FItems[static_cast<std::size_t>(i)]));
    Changing();
    FItems.swap(sorted);
    Changed();
}

void TStringList::SetSorted(bool sorted)
{
    if (FSorted == sorted)
        return;
    if (sorted)
        Sort();
    FSorted = sorted;
}

void TStringList::AddLines(std::vector<CodePageString> lines, std::vector<TObject*> objects)
{
    if (FSorted) {
        AddSortedBulk(std::move(lines), std::move(objects));
        return;
    }
    std::vector<Item> added;
    added.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        added.push_back(Item{std::move(lines[i]), i < objects.size() ? objects[i] : nullptr});
    Changing();
    FItems.insert(FItems.end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    Changed();
}

namespace {

// The first 16 bytes of a line, upper-cased as CompareText folds them and
// zero-filled, as two numbers that compare in the same order. Two lines whose
// keys differ compare as their keys do; equal keys need the whole lines.
struct TSortKey {
    std::uint64_t High = 0;
    std::uint64_t Low = 0;
    std::size_t Index = 0;
};

TSortKey SortKeyOf(const CodePageString& s, std::size_t index)
{
    TSortKey key;
    key.Index = index;
    const std::size_t n = std::min<std::size_t>(s.size(), 16);
    for (std::size_t i = 0; i < n; ++i) {
        const auto byte = static_cast<std::uint64_t>(static_cast<unsigned char>(UpCase(s[i])));
        if (i < 8)
            key.High |= byte << (8 * (7 - i));
        else
            key.Low |= byte << (8 * (15 - i));
    }
    return key;
}

}  // namespace

void TStringList::AddSortedBulk(std::vector<CodePageString> added, std::vector<TObject*> objects)
{
    if (added.empty())
        return;
    auto less = [](const Item& a, const Item& b) { return CompareText(a.s, b.s) < 0; };
    auto inList = [this](const CodePageString& s) {
        int index = 0;
        return Find(s, index);
    };

    // Positions in input order, sorted so that within a run of equal lines
    // the earliest added comes first: the position breaks ties, which gives
    // the order of a stable sort without its buffer of a key per line. The
    // keys keep most comparisons within one array instead of reaching into
    // every line.
    std::vector<TSortKey> keys;
    keys.reserve(added.size());
    for (std::size_t i = 0; i < added.size(); ++i)
        keys.push_back(SortKeyOf(added[i], i));
    std::sort(keys.begin(), keys.end(), [&](const TSortKey& a, const TSortKey& b) {
        if (a.High != b.High)
            return a.High < b.High;
        if (a.Low != b.Low)
            return a.Low < b.Low;
        if (a.Index == b.Index)
            return false;
        const int order = CompareText(added[a.Index], added[b.Index]);
        return order != 0 ? order < 0 : a.Index < b.Index;
    });
    std::vector<std::size_t> order;
    order.reserve(keys.size());
    for (const TSortKey& key : keys)
        order.push_back(key.Index);
    // Whether the lines at sorted positions a and b are equal.
    auto same = [&](std::size_t a, std::size_t b) {
        return keys[a].High == keys[b].High && keys[a].Low == keys[b].Low &&
               CompareText(added[keys[a].Index], added[keys[b].Index]) == 0;
    };

    std::vector<Item> merged;
    bool duplicateFound = false;
    if (Duplicates == dupAccept) {
        // One by one, each line goes before the equal ones already there:
        // a run of equal lines ends up latest first, ahead of the old ones.
        for (std::size_t run = 0; run < order.size();) {
            std::size_t end = run + 1;
            while (end < order.size() && same(run, end))
                ++end;
            std::reverse(order.begin() + static_cast<std::ptrdiff_t>(run), order.begin() + static_cast<std::ptrdiff_t>(end));
            run = end;
        }
    } else {
        // The first line of each run wins, unless the list already has it.
        // With dupError, lines added before the first duplicate stay, as
        // they would one by one.
        std::size_t firstDuplicate = added.size();
        std::vector<char> keep(added.size(), 0);
        for (std::size_t run = 0; run < order.size();) {
            std::size_t end = run + 1;
            while (end < order.size() && same(run, end))
                ++end;
            if (inList(added[order[run]])) {
                firstDuplicate = std::min(firstDuplicate, order[run]);
            } else {
                keep[order[run]] = 1;
                if (end > run + 1)
                    firstDuplicate = std::min(firstDuplicate, order[run + 1]);
            }
            run = end;
        }
        if (Duplicates == dupError && firstDuplicate < added.size()) {
            duplicateFound = true;
            for (std::size_t i = firstDuplicate; i < added.size(); ++i)
                keep[i] = 0;
        }
        order.erase(std::remove_if(order.begin(), order.end(), [&](std::size_t i) { return !keep[i]; }), order.end());
    }

    keys = {};
    std::vector<Item> fresh;
    fresh.reserve(order.size());
    for (std::size_t i : order)
        fresh.push_back(Item{std::move(added[i]), i < objects.size() ? objects[i] : nullptr});
    if (!fresh.empty() && FItems.empty()) {
        Changing();
        FItems.swap(fresh);
        Changed();
    } else if (!fresh.empty()) {
        merged.reserve(FItems.size() + fresh.size());
        // std::merge takes from the first range on ties: new lines first.
        std::merge(std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()),
                   std::make_move_iterator(FItems.begin()), std::make_move_iterator(FItems.end()),
                   std::back_inserter(merged), less);
        Changing();
        FItems.swap(merged);
        Changed();
    }
    if (duplicateFound)
        throw EStringListError(kDuplicateError);
}
