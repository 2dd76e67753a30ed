#pragma once

#include <QString>
#include <array>
#include <vector>

// A set of addresses compared as a list compares them: ignoring the case of ASCII letters. Built for many
// look-ups of mostly repeated addresses: flat tables of hashes, the texts side by side in blocks for the
// rare hash that matches. The set is split in shards by hash, each growing on its own, so that growing
// moves a small part of a large set at a time: the scan on the event loop never pauses for a rehash of
// the whole set.
class AddressSet {
public:
    bool contains(const QString& address) const;
    // False when it was there already.
    bool insert(const QString& address);
    void clear();
    qsizetype size() const { return count_; }

private:
    struct Slot {
        quint64 hash = 0; // 0: empty
        quint64 offset = 0;
        quint32 length = 0;
    };
    struct Shard {
        std::vector<Slot> slots;
        std::vector<char16_t> texts;
        qsizetype count = 0;

        bool sameAddress(const Slot& slot, const QString& address) const;
        // The slot holding the address, or the empty slot where it belongs.
        size_t find(const QString& address, quint64 hash) const;
        void grow();
    };
    static constexpr int ShardBits = 6;

    static quint64 hashOf(const QString& address);
    Shard& shardOf(quint64 hash) { return shards_[hash >> (64 - ShardBits)]; }
    const Shard& shardOf(quint64 hash) const { return shards_[hash >> (64 - ShardBits)]; }

    std::array<Shard, 1 << ShardBits> shards_;
    qsizetype count_ = 0;
};
