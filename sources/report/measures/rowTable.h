// What the tables by decade of a keep for each row, made as the row's first
// pair comes.  Only the span of rows that occur is held, so that a sample
// costs what its decades do rather than the 20,001 rows any sample might
// have: a run of thousands of samples holds thousands of tables.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

template <typename T>
struct RowTable {
    // The row of rows[0].
    std::int32_t first = 0;
    std::vector<std::unique_ptr<T>> rows;
};

// Grows the span to hold the rows from low to high.
template <typename T>
void coverRows(RowTable<T>& table, std::int32_t low, std::int32_t high)
{
    if (table.rows.empty()) {
        table.first = low;
        table.rows.resize(static_cast<std::size_t>(high - low) + 1);
        return;
    }
    if (low < table.first) {
        // Rarely: the rows below come as the first pairs of their decades.
        std::vector<std::unique_ptr<T>> rows(static_cast<std::size_t>(table.first - low));
        std::move(table.rows.begin(), table.rows.end(), std::back_inserter(rows));
        table.rows = std::move(rows);
        table.first = low;
    }
    const auto through = static_cast<std::size_t>(high - table.first) + 1;
    if (through > table.rows.size())
        table.rows.resize(through);
}

template <typename T>
std::unique_ptr<T>& slotOf(RowTable<T>& table, std::int32_t row)
{
    coverRows(table, row, row);
    return table.rows[static_cast<std::size_t>(row - table.first)];
}
