// Work split over threads: the tool's only concurrency. Every task writes its
// own disjoint part of the output, so the tasks need no locking.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace morvex::cli {

// The number of processors this process may run on (at least 1).
int AvailableCores();

// Runs body(0) .. body(count - 1) on up to `threads` threads (the calling
// thread among them), each index once, in no particular order. The first
// exception a task throws is rethrown here once every thread has stopped;
// tasks not yet started then do not start.
void ParallelFor(std::size_t count, int threads, const std::function<void(std::size_t)>& body);

// The threads an operation on one picture may use: every core in a single
// run, a batch job's share of them. The runner sets it before steps run.
int PictureThreads();
void SetPictureThreads(int threads);
// body(first, end) over bands of the rows 0 .. rows - 1, on PictureThreads()
// threads, for work in which every row is computed on its own.
void ParallelRows(std::int32_t rows, const std::function<void(std::int32_t, std::int32_t)>& body);

}  // namespace morvex::cli
