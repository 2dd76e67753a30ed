#include "harvest/AddressSet.h"

namespace {

char16_t asciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

} // namespace

quint64 AddressSet::hashOf(const QString& address) {
    quint64 hash = 1469598103934665603ull; // FNV-1a over the folded characters
    for (const QChar c : address) {
        hash ^= asciiLower(c.unicode());
        hash *= 1099511628211ull;
    }
    hash ^= hash >> 29; // the low bits pick the slot: mix the high ones in
    return hash == 0 ? 1 : hash;
}

bool AddressSet::sameAddress(const Slot& slot, const QString& address) const {
    if (slot.length != static_cast<quint32>(address.size()))
        return false;
    const char16_t* stored = texts_.data() + slot.offset;
    for (qsizetype i = 0; i < address.size(); ++i)
        if (asciiLower(stored[i]) != asciiLower(address[i].unicode()))
            return false;
    return true;
}

size_t AddressSet::find(const QString& address, quint64 hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.hash == 0 || (slot.hash == hash && sameAddress(slot, address)))
            return i;
    }
}

bool AddressSet::contains(const QString& address) const {
    if (slots_.empty())
        return false;
    return slots_[find(address, hashOf(address))].hash != 0;
}

bool AddressSet::insert(const QString& address) {
    if ((count_ + 1) * 2 > static_cast<qsizetype>(slots_.size()))
        grow();
    const quint64 hash = hashOf(address);
    Slot& slot = slots_[find(address, hash)];
    if (slot.hash != 0)
        return false;
    slot = {hash, texts_.size(), static_cast<quint32>(address.size())};
    texts_.insert(texts_.end(), address.utf16(), address.utf16() + address.size());
    ++count_;
    return true;
}

void AddressSet::grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 1024 : old.size() * 2, Slot{});
    const size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.hash == 0)
            continue;
        size_t i = slot.hash & mask;
        while (slots_[i].hash != 0)
            i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

void AddressSet::clear() {
    slots_.clear();
    texts_.clear();
    count_ = 0;
}
