#pragma once

namespace benchsupport {

// Starts counting the process's peak resident memory afresh (Linux: "5" written to
// /proc/self/clear_refs); false when the system refuses, the peak then counting from the
// process's start.
bool resetPeakResidentMemory();

// The process's peak resident memory in kilobytes since its start or the last reset
// (VmHWM of /proc/self/status); -1 when unknown.
long peakResidentKilobytes();

// The process's resident memory now, in kilobytes (VmRSS); -1 when unknown.
long residentKilobytes();

// The resident memory of a process and of every process below it, in kilobytes, read
// from /proc now: the sum over the tree (code pages shared between them counted in each,
// so an upper bound of what they take together) and the largest of them. Zero for a
// process that is gone.
struct TreeMemory {
    long sumKilobytes = 0;
    long largestKilobytes = 0;
};
TreeMemory treeResidentMemory(int rootPid);

}  // namespace benchsupport
