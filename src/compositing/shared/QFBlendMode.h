#pragma once
// The document's four-character blend-mode keys mapped onto the render
// graph's blend-mode numbers (BNBlendMode.h), for every compositing part.

#include "rendergraph/blend/BNBlendMode.h"

#include <cstdint>

// The blend-mode number of a layer key ("mul " is multiply; keys are whole
// 32-bit codes, trailing blanks included). Every other key, "norm" and
// "pass" among them, is normal.
BNBlendMode QFBlendModeForPSDKey(uint32_t key);
