#include "dui/delegate.h"

// The pool's records are built when the process starts and never go back to the general heap.
struct DelegatePool {
    Delegate records[Delegate::kPoolSize];
    Delegate* freeList = nullptr;
    std::size_t available = 0;

    DelegatePool() {
        for (std::size_t i = Delegate::kPoolSize; i-- > 0;) put(&records[i]);
    }
    void put(Delegate* d) {
        d->function_ = nullptr;
        d->nextFree_ = freeList;
        freeList = d;
        ++available;
    }
    Delegate* take() {
        Delegate* d = freeList;
        if (!d)
            return nullptr;
        freeList = d->nextFree_;
        --available;
        return d;
    }
};

namespace {
DelegatePool& pool() {
    static DelegatePool instance;
    return instance;
}
}  // namespace

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

void Delegate::release() {
    if (refs_ == 0)
        return;
    if (--refs_ == 0)
        pool().put(this);
}
