// libFuzzer entry: any bytes as a document. Built by scripts/test in the
// clang sanitizer build (LF_FUZZ=ON).
#include "PSDExercise.h"
#include "platform/core/Log.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lf::LogCapture quiet;  // the reader's console lines would drown the fuzzer's
    (void)OMPSDExerciseDocument(data, size);
    return 0;
}
