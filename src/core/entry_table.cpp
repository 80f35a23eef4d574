// The entry table's memory: one character pool and one array of offsets into it.
#include <cstring>

#include "platform/system.h"
#include "core/entry_table.h"

namespace {

constexpr size_t kMaxNames = INT32_MAX;
constexpr size_t kMaxPool = UINT32_MAX; // offsets are 32-bit

// Twice `old` (a first block of `first`), or `wanted` when that is more, within `most`.
size_t NextSize(size_t old, size_t wanted, size_t most, size_t first) {
    const size_t doubled = old == 0 ? first : old > most / 2 ? most : old * 2;
    return doubled > wanted ? doubled : wanted;
}

// A block of `size` elements holding the first `keep` of `block`; null when refused.
template <typename T> T* Moved(const T* block, size_t keep, size_t size) {
    if (size > SIZE_MAX / sizeof(T)) return nullptr;
    auto* grown = static_cast<T*>(platform::Alloc(size * sizeof(T)));
    if (grown && keep > 0) std::memcpy(grown, block, keep * sizeof(T));
    return grown;
}

} // namespace

bool EntryTable::Grow(size_t names, size_t characters) {
    const size_t count = static_cast<size_t>(count_);
    if (names > kMaxNames - count || characters > kMaxPool - used_) return false;
    const size_t wantSlots = count + names, wantPool = used_ + characters;
    // Both blocks are had before either replaces the old, so a refusal changes nothing.
    const size_t slots = wantSlots > slots_ ? NextSize(slots_, wantSlots, kMaxNames, 16) : slots_;
    const size_t poolSize =
        wantPool > poolSize_ ? NextSize(poolSize_, wantPool, kMaxPool, 512) : poolSize_;
    uint32_t* offsets = slots != slots_ ? Moved(offsets_, count, slots) : offsets_;
    char* pool = offsets && poolSize != poolSize_ ? Moved(pool_, used_, poolSize) : pool_;
    if (!offsets || !pool) {
        if (offsets && offsets != offsets_) platform::FreeMemory(offsets);
        return false;
    }
    if (offsets != offsets_) {
        if (offsets_) platform::FreeMemory(offsets_);
        offsets_ = offsets;
        slots_ = slots;
    }
    if (pool != pool_) {
        if (pool_) platform::FreeMemory(pool_);
        pool_ = pool;
        poolSize_ = poolSize;
    }
    return true;
}

bool EntryTable::Reserve(size_t names, size_t characters) {
    if (characters > kMaxPool - names) return false;
    return Grow(names, characters + names);
}

bool EntryTable::Append(const char* name, size_t length) {
    if (length > kMaxName) length = kMaxName;
    if (!Grow(1, length + 1)) return false;
    std::memcpy(pool_ + used_, name, length);
    pool_[used_ + length] = '\0';
    offsets_[count_++] = static_cast<uint32_t>(used_);
    used_ += length + 1;
    return true;
}

bool EntryTable::AppendPath(const char* folder, size_t folderLength, const char* file,
                            size_t fileLength) {
    if (folderLength >= kMaxName || fileLength >= kMaxName - folderLength) return false;
    const size_t length = folderLength + 1 + fileLength;
    if (!Grow(1, length + 1)) return false;
    char* at = pool_ + used_;
    std::memcpy(at, folder, folderLength);
    at[folderLength] = '\\';
    std::memcpy(at + folderLength + 1, file, fileLength);
    at[length] = '\0';
    offsets_[count_++] = static_cast<uint32_t>(used_);
    used_ += length + 1;
    return true;
}

bool EntryTable::AdoptText(char* text, size_t size, int names) {
    Clear();
    if (size == 0 || size > kMaxPool || names < 0) return false;
    pool_ = text;
    used_ = poolSize_ = size;
    if (!Grow(static_cast<size_t>(names), 0)) {
        pool_ = nullptr; // still the caller's
        Clear();
        return false;
    }
    return true;
}

void EntryTable::Clear() {
    if (pool_) platform::FreeMemory(pool_);
    if (offsets_) platform::FreeMemory(offsets_);
    pool_ = nullptr;
    offsets_ = nullptr;
    used_ = poolSize_ = slots_ = 0;
    count_ = 0;
}

void EntryTable::Take(EntryTable& other) {
    pool_ = other.pool_;
    used_ = other.used_;
    poolSize_ = other.poolSize_;
    offsets_ = other.offsets_;
    count_ = other.count_;
    slots_ = other.slots_;
    other.pool_ = nullptr;
    other.offsets_ = nullptr;
    other.used_ = other.poolSize_ = other.slots_ = 0;
    other.count_ = 0;
}
