#pragma once

#include <QString>
#include <vector>

// A set of addresses compared as a list compares them: ignoring the case of ASCII letters. Built for many
// look-ups of mostly repeated addresses: one flat table of hashes, the texts side by side in one block
// for the rare hash that matches.
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

    static quint64 hashOf(const QString& address);
    bool sameAddress(const Slot& slot, const QString& address) const;
    // The slot holding the address, or the empty slot where it belongs.
    size_t find(const QString& address, quint64 hash) const;
    void grow();

    std::vector<Slot> slots_;
    std::vector<char16_t> texts_;
    qsizetype count_ = 0;
};
