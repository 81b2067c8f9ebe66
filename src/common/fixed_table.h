// A global fixed-capacity table of plain records, filled in order.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

template <typename Record, uint32_t Capacity = 256>
struct FixedTable {
    static_assert(std::is_trivially_copyable_v<Record>, "records are plain bytes");
    static constexpr uint32_t capacity = Capacity;

    Record records[Capacity];  // records[0 .. count-1] are in use; the rest are zero
    uint32_t count;            // records in use
};

// Appends record. Returns 1, or 0 without change when the table is full.
template <typename Record, uint32_t Capacity>
int AddRecord(FixedTable<Record, Capacity>& table, const Record& record) {
    if (table.count >= Capacity) return 0;
    table.records[table.count] = record;
    ++table.count;
    return 1;
}

// Zero-fills every record and sets the count to 0.
template <typename Record, uint32_t Capacity>
void ClearTable(FixedTable<Record, Capacity>& table) {
    std::memset(static_cast<void*>(&table), 0, sizeof table);
}
