#pragma once
// Large documents for the benchmarks, written by the benchmarks themselves so
// that no figure depends on files outside the repository.
//
// Every document has the same composition scaled to its canvas: a photo-like
// background, about thirty layers in nested groups (pass-through and
// isolated), layer masks, clipped layers, a dozen blend modes, opacity and
// fill opacity, one hidden layer, and channels compressed with PackBits
// (RLE), zip and zip with prediction. 16-bit documents keep their layers in
// an "Lr16" block, as Photoshop writes them. The merged image is a flat
// placeholder, not the composite.
//
// Writing one takes seconds (its channels are made and compressed on all
// processors); BenchDocumentPath writes each document once into a folder
// of generated documents and reuses it afterwards.

#include <cstdint>
#include <filesystem>
#include <string>

struct BenchDocumentSpec {
    uint32_t width = 4000, height = 3000;
    uint16_t depth = 8;  // 8 or 16
    // Every layer in one pass-through group tagged "picture.png", so that
    // exporting the document renders the whole picture; the layers are
    // those of the untagged document.
    bool tagged = false;

    // "layers-4000x3000-8bit", "layers-4000x3000-8bit-tagged"
    std::string name() const;
};

// The benchmarks' documents: 4000 by 3000 and 8000 by 6000, 8 and 16 bits.
inline constexpr BenchDocumentSpec kBenchDocuments[] = {
    {4000, 3000, 8}, {4000, 3000, 16}, {8000, 6000, 8}, {8000, 6000, 16}};

// Writes the document to `path` (through a temporary file renamed over it).
// False, with the reason in `error`, when it cannot be written.
bool WriteBenchDocument(const BenchDocumentSpec& spec, const std::filesystem::path& path,
                        std::string* error = nullptr);

// The generated document's path in `folder` (by default $LF_BENCH_DOCUMENTS,
// else bench-documents in the build folder), written first when missing.
// Empty, with the reason in `error`, when it cannot be written.
std::filesystem::path BenchDocumentPath(const BenchDocumentSpec& spec, std::string* error = nullptr,
                                        std::filesystem::path folder = {});
