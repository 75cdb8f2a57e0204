#include "dui/delegate.h"

#include <cstring>

#include "dui/checked.h"

// The pool's records are built when the process starts and never go back to the general heap. In a
// checked build a released record is filled with the poison pattern and waits in a quarantine before it
// rejoins the free list; its poison is checked when it leaves the quarantine and again when it is taken,
// and calling, referencing or releasing a poisoned record fails at once.
struct DelegatePool {
    static constexpr std::size_t kQuarantine = 1024;

    Delegate records[Delegate::kPoolSize];
    Delegate* freeList = nullptr;
    std::size_t available = 0;  // on the free list or in quarantine
    Delegate* quarantine[kQuarantine];
    std::size_t quarantineHead = 0;
    std::size_t quarantineCount = 0;

    DelegatePool() {
        for (std::size_t i = Delegate::kPoolSize; i-- > 0;) {
            if (dui::kCheckedBuild)
                std::memset(static_cast<void*>(&records[i]), dui::kPoisonByte, sizeof(Delegate));
            link(&records[i]);
            ++available;
        }
    }
    void link(Delegate* d) {
        if (!dui::kCheckedBuild)
            d->function_ = nullptr;
        d->nextFree_ = freeList;
        freeList = d;
    }
    void put(Delegate* d) {
        ++available;
        if (!dui::kCheckedBuild) {
            link(d);
            return;
        }
        std::memset(static_cast<void*>(d), dui::kPoisonByte, sizeof(Delegate));
        if (quarantineCount == kQuarantine)
            releaseOldest();
        quarantine[(quarantineHead + quarantineCount) % kQuarantine] = d;
        ++quarantineCount;
    }
    void releaseOldest() {
        Delegate* d = quarantine[quarantineHead];
        quarantineHead = (quarantineHead + 1) % kQuarantine;
        --quarantineCount;
        dui::checkPoison(d, 0, sizeof(Delegate), "delegate record written after it went back to the pool");
        link(d);
    }
    Delegate* take() {
        if (!freeList && quarantineCount)
            releaseOldest();
        Delegate* d = freeList;
        if (!d)
            return nullptr;
        freeList = d->nextFree_;
        --available;
        if (dui::kCheckedBuild)
            dui::checkPoison(d, sizeof(Delegate*), sizeof(Delegate),
                             "free delegate record written before reuse");
        return d;
    }
};

namespace {
DelegatePool& pool() {
    static DelegatePool instance;
    return instance;
}

// A record whose reference count holds the poison went back to the pool: whoever still uses it keeps
// a pointer past its last release. False after reporting it (when the report returns, as in tests).
bool checkLive(const Delegate* d, uint32_t refs, const char* what) {
    if (dui::kCheckedBuild && refs == static_cast<uint32_t>(dui::kPoisonWord)) {
        dui::reportPoisonFailure(what, d);
        return false;
    }
    return true;
}
}  // namespace

namespace dui {
void flushDelegateQuarantine() noexcept {
    while (pool().quarantineCount) pool().releaseOldest();
}
}  // namespace dui

Delegate* Delegate::create(void* context, EventFn function) {
    Delegate* d = pool().take();
    if (!d)
        return nullptr;
    d->context_ = context;
    d->function_ = function;
    d->refs_ = 1;
    return d;
}

std::size_t Delegate::poolAvailable() {
    return pool().available;
}

void Delegate::addRef() {
    if (checkLive(this, refs_, "delegate referenced after it went back to the pool"))
        ++refs_;
}

void Delegate::release() {
    if (!checkLive(this, refs_, "delegate released after it went back to the pool"))
        return;
    if (refs_ == 0)
        return;
    if (--refs_ == 0)
        pool().put(this);
}

void Delegate::invoke(Control* sender, EventRecord& event) const {
    if (!checkLive(this, refs_, "delegate called after it went back to the pool"))
        return;
    if (function_)
        function_(context_, sender, event);
}
