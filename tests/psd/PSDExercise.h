#pragma once
// Opens a document from bytes and reads everything the reader offers:
// every layer value, every decoded block, every channel (up to a size cap,
// so hostile planes that the bytes could justify still stay quick). Shared
// by the fuzz target and the regression test of its findings; it must
// never crash, whatever the bytes.
#include <cstddef>
#include <cstdint>

// Returns how many things it read (so the work is not optimised away).
size_t OMPSDExerciseDocument(const uint8_t* data, size_t size);
