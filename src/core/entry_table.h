// The entry table: the names a playlist, a folder scan or dropped files give to play.
#pragma once
#include <cstddef>
#include <cstdint>

// Each name is kept once, terminated, in one pool of characters; the table holds where
// each begins. A name is at most 255 characters: longer ones are cut. The memory comes
// from the platform, so a refusal is answered with false and the table stays as it was.
class EntryTable {
  public:
    static constexpr size_t kMaxName = 255;

    EntryTable() = default;
    EntryTable(EntryTable&& other) noexcept { Take(other); }
    EntryTable& operator=(EntryTable&& other) noexcept {
        if (this != &other) {
            Clear();
            Take(other);
        }
        return *this;
    }
    EntryTable(const EntryTable&) = delete;
    EntryTable& operator=(const EntryTable&) = delete;
    ~EntryTable() { Clear(); }

    int Count() const { return count_; }
    // The name at `index`, or an empty text when the table has none there.
    const char* At(int index) const {
        return index >= 0 && index < count_ ? pool_ + offsets_[index] : "";
    }
    const char* operator[](int index) const { return At(index); }

    // Room for `names` more names of `characters` characters in all (terminators
    // counted apart), so that appending them cannot fail.
    bool Reserve(size_t names, size_t characters);
    // Appends a name, cut to kMaxName characters.
    bool Append(const char* name, size_t length);
    // Appends "<folder>\<file>" when it fits a name whole (false also when it does not).
    bool AppendPath(const char* folder, size_t folderLength, const char* file, size_t fileLength);
    void DropLast() {
        if (count_ > 0) --count_;
    }
    void Clear();
    // Lets go of the memory without giving it back, for a table whose memory the platform
    // has already taken back.
    void Forget() {
        pool_ = nullptr;
        offsets_ = nullptr;
        Clear();
    }

    // The playlist reader's way in: `text` (`size` bytes from platform::Alloc, the
    // last a zero) becomes the pool, with room for `names` names; they are then marked
    // where they begin with Mark, each terminated in place within the text. When the room
    // can't be had the text stays the caller's and the table stays empty.
    bool AdoptText(char* text, size_t size, int names);
    void Mark(size_t offset) {
        if (static_cast<size_t>(count_) < slots_)
            offsets_[count_++] = static_cast<uint32_t>(offset);
    }

  private:
    // The one way the table grows: both arrays at least double when they grow.
    bool Grow(size_t names, size_t characters);
    void Take(EntryTable& other);

    char* pool_ = nullptr;
    size_t used_ = 0, poolSize_ = 0;
    uint32_t* offsets_ = nullptr;
    int count_ = 0;
    size_t slots_ = 0;
};
