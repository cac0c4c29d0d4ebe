#pragma once
// Opens a document from bytes and renders its visible layers at half scale
// through the tiled renderer, within a small pixel budget, waiting for the
// render. Shared by the render fuzz target and the test that keeps reading
// its findings; it must never crash, whatever the bytes.
#include <cstddef>
#include <cstdint>

// The pixels at most a render may have: a claimed canvas larger than
// 2048 by 2048 is refused by the budget before anything is allocated.
inline constexpr uint64_t kRenderExercisePixelBudget = uint64_t{1} << 20;

// True when the document opened and rendered.
bool QFExerciseRender(const uint8_t* data, size_t size);
