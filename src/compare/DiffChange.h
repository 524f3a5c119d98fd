// A matching run or a change of a comparison, and the run cache entry.
#pragma once

// kind 0 same (a matching run), 1 modified (count lines on each side, paired
// in order), 2 deleted from left (rightPos -1), 3 added to right (leftPos -1).
struct CDiffChange {
    int rightPos = -1;
    int leftPos = -1;
    int count = 0;
    int kind = 0;

    bool operator==(const CDiffChange&) const = default;
};

enum DiffChangeKind { kDiffSame = 0, kDiffModified = 1, kDiffDeleted = 2, kDiffAdded = 3 };

// The longest run found so far that begins at one right line: length -2 not
// computed yet (start -1), -1 no line of the left range equals the right line
// (start -1), positive: the run begins at left line start.
struct CDiffRun {
    int start = -1;
    int length = -2;
};
