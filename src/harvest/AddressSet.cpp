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

bool AddressSet::Shard::sameAddress(const Slot& slot, const QString& address) const {
    if (slot.length != static_cast<quint32>(address.size()))
        return false;
    const char16_t* stored = texts.data() + slot.offset;
    for (qsizetype i = 0; i < address.size(); ++i)
        if (asciiLower(stored[i]) != asciiLower(address[i].unicode()))
            return false;
    return true;
}

size_t AddressSet::Shard::find(const QString& address, quint64 hash) const {
    const size_t mask = slots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots[i];
        if (slot.hash == 0 || (slot.hash == hash && sameAddress(slot, address)))
            return i;
    }
}

void AddressSet::Shard::grow() {
    std::vector<Slot> old = std::move(slots);
    slots.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    const size_t mask = slots.size() - 1;
    for (const Slot& slot : old) {
        if (slot.hash == 0)
            continue;
        size_t i = slot.hash & mask;
        while (slots[i].hash != 0)
            i = (i + 1) & mask;
        slots[i] = slot;
    }
}

bool AddressSet::contains(const QString& address) const {
    const quint64 hash = hashOf(address);
    const Shard& shard = shardOf(hash);
    if (shard.slots.empty())
        return false;
    return shard.slots[shard.find(address, hash)].hash != 0;
}

bool AddressSet::insert(const QString& address) {
    const quint64 hash = hashOf(address);
    Shard& shard = shardOf(hash);
    if ((shard.count + 1) * 2 > static_cast<qsizetype>(shard.slots.size()))
        shard.grow();
    Slot& slot = shard.slots[shard.find(address, hash)];
    if (slot.hash != 0)
        return false;
    slot = {hash, shard.texts.size(), static_cast<quint32>(address.size())};
    shard.texts.insert(shard.texts.end(), address.utf16(), address.utf16() + address.size());
    ++shard.count;
    ++count_;
    return true;
}

void AddressSet::clear() {
    for (Shard& shard : shards_)
        shard = Shard();
    count_ = 0;
}
