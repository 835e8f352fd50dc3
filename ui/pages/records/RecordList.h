#pragma once
// The rows of one record page, without any window: one vector of records with their texts in
// one store, the order the user chose, and the filter. Cell texts are made only when asked for
// (the visible rows, the filter, an export).
#include <array>
#include <cstdint>
#include <functional>
#include <numeric>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Common/CppSQLite3Exception.h"
#include "Common/Csv.h"
#include "Common/RecordText.h"
#include "ui/pages/records/RecordColumns.h"
#include "ui/pages/records/RecordSort.h"
#include "ui/pages/records/TextStore.h"

template <typename Columns>
class RecordList {
public:
    using Row = typename Columns::Row;
    static constexpr int kColumnCount = static_cast<int>(Columns::kColumns.size());
    using Headers = std::array<std::string, Columns::kColumns.size()>;

    // Drops every row (the filter stays).
    void Clear() {
        rows_ = {};
        texts_.Clear();
        order_ = {};
        matches_ = {};
        shown_ = {};
    }

    // Appends the rows of `query` in the order it returns them, until its end or until the text
    // store is full. A CppSQLite3Exception from the query ends the reading and is passed on;
    // the rows read before it stay, shown as usual.
    template <typename Query>
    void Read(Query& query) {
        struct Publish {  // on every path, exceptions included
            RecordList& list;
            ~Publish() { list.RowsChanged(); }
        } publish{*this};
        const typename Columns::template Reader<Query> reader(query);
        for (; !query.eof(); query.nextRow()) {
            Row row;
            if (!reader.Read(query, texts_, row)) break;
            rows_.push_back(row);
        }
    }

    // Sorts every row by `column`, keeping rows with equal values in their present order.
    void Sort(int column, bool descending) {
        if (column < 0 || column >= kColumnCount) return;
        const CellKind kind = Columns::kColumns[column].kind;
        if (kind == CellKind::Text) {
            SortByText(
                order_,
                [this, column](uint32_t i) {
                    return texts_.View(Columns::At(rows_[i], column).text);
                },
                descending);
        } else if (kind == CellKind::Address) {
            std::vector<AddressOrderKey> keys(rows_.size());
            for (size_t i = 0; i < rows_.size(); ++i) {
                const Cell cell = Columns::At(rows_[i], column);
                keys[i] =
                    AddressOrderKey(static_cast<uint32_t>(cell.number), texts_.View(cell.text));
            }
            SortByBytes(
                order_, [&keys](uint32_t i) { return keys[i].View(); }, descending);
        } else {
            SortByNumber(
                order_,
                [this, column](uint32_t i) {
                    return SignedKey(Columns::At(rows_[i], column).number);
                },
                descending);
        }
        Show();
    }

    // Shows only the rows with `filter` in one of their shown texts (ASCII letters without
    // case); an empty filter shows every row. The filter stays for later fills.
    void SetFilter(std::string_view filter) {
        filter_ = FoldFilter(filter);
        Match();
        Show();
    }
    const std::string& Filter() const { return filter_; }

    size_t RowCount() const { return rows_.size(); }
    size_t ShownCount() const { return shown_.size(); }
    const Row& ShownRow(size_t shownIndex) const { return rows_[shown_[shownIndex]]; }
    // Which row (in reading order) a shown row is; stays with the row through sorts.
    uint32_t ShownRowId(size_t shownIndex) const { return shown_[shownIndex]; }

    // The text of one cell of the shown rows.
    std::string Text(size_t shownIndex, int column) const {
        std::string text;
        TimeTextWriter times;
        AppendText(ShownRow(shownIndex), column, times, text);
        return text;
    }

    // The shown rows, in their shown order, as CSV (RFC 4180: fields with a comma, quote or
    // line break quoted, quotes doubled, lines ended by CRLF) under one line of headers.
    // `write` receives the text in pieces; false from it stops the export and returns false.
    bool WriteCsv(const Headers& headers, const std::function<bool(std::string_view)>& write) const;

    // The bytes held: records, texts and order lists.
    size_t HeldBytes() const {
        return rows_.capacity() * sizeof(Row) + texts_.Bytes() +
               (order_.capacity() + shown_.capacity()) * sizeof(uint32_t) + matches_.capacity();
    }

private:
    void AppendText(const Row& row, int column, TimeTextWriter& times, std::string& out) const {
        const Cell cell = Columns::At(row, column);
        switch (cell.kind) {
            case CellKind::Text:
                out += texts_.View(cell.text);
                break;
            case CellKind::Time:
                times.Append(cell.number, out);
                break;
            case CellKind::Address:
                AppendClientAddress(static_cast<uint32_t>(cell.number), texts_.View(cell.text),
                                    out);
        }
    }

    bool Matches(const Row& row, TimeTextWriter& times, std::string& scratch) const {
        for (int column = 0; column < kColumnCount; ++column) {
            const Cell cell = Columns::At(row, column);
            if (cell.kind == CellKind::Text) {
                if (ContainsFolded(texts_.View(cell.text), filter_)) return true;
                continue;
            }
            scratch.clear();
            AppendText(row, column, times, scratch);
            if (ContainsFolded(scratch, filter_)) return true;
        }
        return false;
    }

    // New rows: the order they were read in, the filter applied again.
    void RowsChanged() {
        order_.resize(rows_.size());
        std::iota(order_.begin(), order_.end(), 0u);
        Match();
        Show();
    }

    void Match() {
        matches_.assign(filter_.empty() ? 0 : rows_.size(), 0);
        if (filter_.empty()) return;
        TimeTextWriter times;  // rows in reading order: neighbours share their minute
        std::string scratch;
        for (size_t i = 0; i < rows_.size(); ++i) matches_[i] = Matches(rows_[i], times, scratch);
    }

    void Show() {
        if (filter_.empty()) {
            shown_ = order_;
            return;
        }
        shown_.clear();
        for (uint32_t i : order_) {
            if (matches_[i]) shown_.push_back(i);
        }
    }

    std::vector<Row> rows_;
    TextStore texts_;
    std::vector<uint32_t> order_;   // every row, in the order chosen
    std::vector<uint8_t> matches_;  // per row, when a filter is set
    std::vector<uint32_t> shown_;   // the rows of order_ that pass the filter
    std::string filter_;            // folded
};

template <typename Columns>
bool RecordList<Columns>::WriteCsv(const Headers& headers,
                                   const std::function<bool(std::string_view)>& write) const {
    constexpr size_t kChunk = 1 << 20;
    std::string out;
    std::string cell;
    for (int column = 0; column < kColumnCount; ++column) {
        if (column > 0) out += ',';
        AppendCsvField(headers[column], out);
    }
    out += "\r\n";
    TimeTextWriter times;
    for (size_t i = 0; i < shown_.size(); ++i) {
        for (int column = 0; column < kColumnCount; ++column) {
            if (column > 0) out += ',';
            cell.clear();
            AppendText(rows_[shown_[i]], column, times, cell);
            AppendCsvField(cell, out);
        }
        out += "\r\n";
        if (out.size() >= kChunk) {
            if (!write(out)) return false;
            out.clear();
        }
    }
    return out.empty() || write(out);
}
