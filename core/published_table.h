// A table of functions looked up once and then read by any thread: it is
// copied whole to the heap and only then made visible by one interlocked
// exchange of a pointer, so no thread reads a table another is still writing.
#pragma once
#include <stddef.h>

// Publishes a copy of `filled` (`bytes` long) in `*published` unless another
// thread got there first; returns the table that stands, which lives for the
// rest of the process. A thread that loses the race frees its own copy. NULL
// only when the heap has no room.
const void* PublishTableOnce(void* volatile* published, const void* filled, size_t bytes);
