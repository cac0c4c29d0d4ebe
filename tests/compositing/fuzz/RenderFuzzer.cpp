// libFuzzer entry: any bytes as a document, opened and rendered at half
// scale within a small pixel budget. Built by scripts/test in the clang
// sanitizer build (LF_FUZZ=ON).
#include "RenderExercise.h"
#include "platform/core/Log.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lf::LogCapture quiet;  // damaged layers and refused renders say so
    (void)QFExerciseRender(data, size);
    return 0;
}
