#include "worker/read_ahead.h"

#include <algorithm>
#include <utility>

#include "host/text_conv.h"

namespace {

// The entry named by one literal's text, or null.
const PackEntry* namedEntry(std::string_view literal, const PackArchive& archive, std::u16string* name) {
    if (literal.empty() || literal.size() > kPackMaxNameArea)
        return nullptr;
    std::wstring wide = win::utf8ToWide(literal);
    std::replace(wide.begin(), wide.end(), L'\\', L'/');
    name->assign(wide.begin(), wide.end());
    return archive.find(*name);
}

// The level of a long bracket opening at text[pos] ("[", n times "=", "["), or -1.
int longBracketLevel(std::string_view text, std::size_t pos) {
    std::size_t p = pos + 1;
    while (p < text.size() && text[p] == '=') ++p;
    return p < text.size() && text[p] == '[' ? static_cast<int>(p - pos - 1) : -1;
}

}  // namespace

std::vector<std::u16string> expectedEntries(std::string_view text, const PackArchive& archive) {
    std::vector<std::u16string> names;
    std::map<std::u16string, bool, std::less<>> seen;
    std::u16string name;
    auto consider = [&](std::string_view literal) {
        if (namedEntry(literal, archive, &name) && seen.emplace(name, true).second)
            names.push_back(name);
    };
    std::size_t pos = 0;
    while (pos < text.size()) {
        char c = text[pos];
        if (c == '"' || c == '\'') {
            // A quoted literal: "\\" stands for one backslash; any other escape makes it no name.
            std::string literal;
            bool plain = true;
            std::size_t p = pos + 1;
            for (; p < text.size() && text[p] != c && text[p] != '\n'; ++p) {
                if (text[p] == '\\') {
                    if (++p >= text.size())
                        break;
                    plain = plain && text[p] == '\\';
                }
                literal += text[p];
            }
            if (plain)
                consider(literal);
            pos = p + 1;
        } else if (c == '[' && longBracketLevel(text, pos) >= 0) {
            int level = longBracketLevel(text, pos);
            std::size_t start = pos + level + 2;
            std::string close = "]" + std::string(level, '=') + "]";
            std::size_t end = text.find(close, start);
            if (end == std::string_view::npos)
                break;
            std::string_view literal = text.substr(start, end - start);
            if (!literal.empty() && literal[0] == '\n')
                literal.remove_prefix(1);
            consider(literal);
            pos = end + close.size();
        } else if (c == '-' && text.substr(pos, 2) == "--") {
            // A comment: a long one is skipped whole, a short one to the end of its line.
            std::size_t p = pos + 2;
            int level = p < text.size() && text[p] == '[' ? longBracketLevel(text, p) : -1;
            if (level >= 0) {
                std::size_t end = text.find("]" + std::string(level, '=') + "]", p);
                pos = end == std::string_view::npos ? text.size() : end + level + 2;
            } else {
                std::size_t end = text.find('\n', p);
                pos = end == std::string_view::npos ? text.size() : end + 1;
            }
        } else {
            ++pos;
        }
    }
    return names;
}

EntryReadAhead::EntryReadAhead(const OwnedArchive& archive, std::vector<std::u16string> order, Limits limits)
    : archive_(archive), limits_(limits) {
    order_.reserve(order.size());
    for (auto& name : order)
        if (const PackEntry* entry = archive.get()->find(name))
            order_.push_back({std::move(name), entry});
    for (std::size_t i = 0; i < order_.size(); ++i) position_.emplace(order_[i].name, i);
    if (!order_.empty())
        thread_.reset(CreateThread(nullptr, 0, threadMain, this, 0, nullptr));
}

EntryReadAhead::~EntryReadAhead() {
    {
        auto guard = win::lock(lock_);
        stopping_ = true;
        WakeAllConditionVariable(&changed_);
    }
    if (thread_)
        WaitForSingleObject(thread_.get(), INFINITE);
}

bool EntryReadAhead::threadRunning() const {
    return thread_ && WaitForSingleObject(thread_.get(), 0) == WAIT_TIMEOUT;
}

DWORD WINAPI EntryReadAhead::threadMain(void* self) {
    static_cast<EntryReadAhead*>(self)->decodeLoop();
    return 0;
}

bool EntryReadAhead::mayStartNext() const {
    if (next_ >= order_.size() || ready_.size() >= limits_.entries)
        return false;
    std::size_t size = order_[next_].entry->contentSize();
    return size > limits_.bytes || bytesAhead_ + size <= limits_.bytes;  // too large ones are passed over
}

void EntryReadAhead::decodeLoop() {
    for (;;) {
        std::size_t index;
        std::size_t content;
        {
            auto guard = win::lock(lock_);
            while (!stopping_ && !mayStartNext())
                SleepConditionVariableCS(&changed_, lock_.native(), INFINITE);
            if (stopping_)
                return;
            index = next_++;
            content = order_[index].entry->contentSize();
            if (content > limits_.bytes)
                continue;
            decoding_ = index;
            bytesAhead_ += content;
        }
        Decoded decoded{index, nullptr, 0, PackResult::Missing};
        decoded.data.reset(
            extractEntry(*archive_.get(), *order_[index].entry, &decoded.size, &decoded.result));
        archive_.release(*order_[index].entry);
        {
            auto guard = win::lock(lock_);
            decoding_ = SIZE_MAX;
            if (index >= wantedFrom_ && !stopping_) {
                ready_.push_back(std::move(decoded));
            } else {
                bytesAhead_ -= content;
            }
            WakeAllConditionVariable(&changed_);
        }
        // A dropped buffer is freed here, outside the lock.
    }
}

unique_entry EntryReadAhead::decodeNow(std::u16string_view name, std::size_t* size,
                                       PackResult* result) const {
    const PackEntry* entry = archive_.get()->find(name);
    if (!entry) {
        if (result)
            *result = PackResult::Missing;
        return nullptr;
    }
    unique_entry data(extractEntry(*archive_.get(), *entry, size, result));
    archive_.release(*entry);
    return data;
}

unique_entry EntryReadAhead::take(std::u16string_view name, std::size_t* size, PackResult* result) {
    auto it = position_.find(name);
    if (it == position_.end() || !thread_)
        return decodeNow(name, size, result);
    const std::size_t index = it->second;
    std::deque<Decoded> dropped;  // freed outside the lock
    Decoded found{index, nullptr, 0, PackResult::Missing};
    {
        auto guard = win::lock(lock_);
        if (index < wantedFrom_) {
            // Asked for again (a retry) or out of order: decode on demand.
        } else {
            wantedFrom_ = index;
            while (!ready_.empty() && ready_.front().index < index) {
                bytesAhead_ -= order_[ready_.front().index].entry->contentSize();
                dropped.push_back(std::move(ready_.front()));
                ready_.pop_front();
            }
            if (index >= next_) {
                next_ = index + 1;  // the guess went wrong: go on after the name asked for
            } else {
                while (decoding_ == index) SleepConditionVariableCS(&changed_, lock_.native(), INFINITE);
                if (!ready_.empty() && ready_.front().index == index) {
                    found = std::move(ready_.front());
                    ready_.pop_front();
                    bytesAhead_ -= order_[index].entry->contentSize();
                }
            }
            wantedFrom_ = index + 1;
            WakeAllConditionVariable(&changed_);
        }
    }
    dropped.clear();
    // A buffer that could not be allocated ahead may still be allocated now.
    if (!found.data || found.result == PackResult::OutOfMemory)
        return decodeNow(name, size, result);
    if (size)
        *size = found.size;
    if (result)
        *result = found.result;
    return std::move(found.data);
}
