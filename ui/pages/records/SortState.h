#pragma once
// Which way a header click sorts: clicks on one column alternate ascending and descending
// (the descending click forgets the column); a click on another column starts ascending.

struct SortState {
    static constexpr int kAscending = 1;
    static constexpr int kDescending = 2;

    int lastColumn = -1;
    int direction = kAscending;

    // Records a click on `column`; true when it sorts descending.
    bool Click(int column) {
        if (lastColumn != -1 && lastColumn == column) {
            direction = kDescending;
            lastColumn = -1;
        } else {
            direction = kAscending;
            lastColumn = column;
        }
        return direction == kDescending;
    }
};
