#include "BenchDocuments.h"

#include "BenchComposition.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

// The file follows Photoshop's own layout: header, empty colour-mode data
// and resources, the layer and mask information (layer info, an empty
// global mask, and for 16 bits the layer info inside an "Lr16" block), then
// the merged image.

namespace {

using namespace bench_documents;

// ---- Big-endian output ---------------------------------------------------

struct Bytes {
    std::vector<uint8_t> data;
    void u8(uint32_t v) { data.push_back(uint8_t(v)); }
    void u16(uint32_t v) { u8(v >> 8), u8(v); }
    void u32(uint32_t v) { u16(v >> 16), u16(v); }
    void text(const char* s) { data.insert(data.end(), s, s + std::strlen(s)); }
    void append(const std::vector<uint8_t>& more) {
        data.insert(data.end(), more.begin(), more.end());
    }
    void padTo(size_t multiple) {
        while (data.size() % multiple)
            u8(0);
    }
};

// ---- Channel compression -------------------------------------------------

enum Compression : uint16_t { rle = 1, zip = 2, zipPrediction = 3 };

// PackBits of one row.
void packBits(const uint8_t* in, size_t length, std::vector<uint8_t>& out) {
    size_t i = 0;
    while (i < length) {
        size_t run = 1;
        while (i + run < length && run < 128 && in[i + run] == in[i])
            ++run;
        if (run >= 3) {
            out.push_back(uint8_t(257 - run));
            out.push_back(in[i]);
            i += run;
            continue;
        }
        size_t start = i, count = 0;
        while (i < length && count < 128) {
            if (i + 2 < length && in[i] == in[i + 1] && in[i] == in[i + 2]) break;
            ++i, ++count;
        }
        out.push_back(uint8_t(count - 1));
        out.insert(out.end(), in + start, in + start + count);
    }
}

// One channel's compressed data (after its compression field), fed row by
// row.
class ChannelWriter {
public:
    ChannelWriter(Compression compression, uint32_t rows, uint16_t depth)
        : compression_(compression), depth_(depth) {
        if (compression_ == rle) {
            counts_.reserve(rows);
        } else {
            deflateInit(&stream_, 1);
        }
    }
    ~ChannelWriter() {
        if (compression_ != rle) deflateEnd(&stream_);
    }
    ChannelWriter(const ChannelWriter&) = delete;
    ChannelWriter& operator=(const ChannelWriter&) = delete;

    void addRow(std::vector<uint8_t>& row) {
        if (compression_ == rle) {
            size_t before = data_.size();
            packBits(row.data(), row.size(), data_);
            counts_.push_back(uint32_t(data_.size() - before));
            return;
        }
        if (compression_ == zipPrediction) predict(row);
        deflateBytes(row.data(), row.size(), Z_NO_FLUSH);
    }

    // The channel's bytes: compression field, then the data.
    std::vector<uint8_t> finish() {
        Bytes out;
        out.u16(compression_);
        if (compression_ == rle) {
            for (uint32_t count : counts_)
                out.u16(count);
        } else {
            deflateBytes(nullptr, 0, Z_FINISH);
        }
        out.append(data_);
        data_.clear();
        data_.shrink_to_fit();
        return std::move(out.data);
    }

private:
    void predict(std::vector<uint8_t>& row) {
        if (depth_ == 8) {
            for (size_t i = row.size(); i-- > 1;)
                row[i] = uint8_t(row[i] - row[i - 1]);
            return;
        }
        for (size_t i = row.size() / 2; i-- > 1;) {
            uint16_t value = uint16_t(row[2 * i] << 8 | row[2 * i + 1]);
            uint16_t previous = uint16_t(row[2 * i - 2] << 8 | row[2 * i - 1]);
            uint16_t delta = uint16_t(value - previous);
            row[2 * i] = uint8_t(delta >> 8);
            row[2 * i + 1] = uint8_t(delta);
        }
    }

    void deflateBytes(uint8_t* bytes, size_t length, int flush) {
        stream_.next_in = bytes;
        stream_.avail_in = uInt(length);
        uint8_t chunk[1 << 16];
        do {
            stream_.next_out = chunk;
            stream_.avail_out = sizeof chunk;
            deflate(&stream_, flush);
            data_.insert(data_.end(), chunk, chunk + (sizeof chunk - stream_.avail_out));
        } while (stream_.avail_out == 0 || (flush == Z_FINISH && stream_.avail_in > 0));
    }

    Compression compression_;
    uint16_t depth_;
    z_stream stream_{};
    std::vector<uint32_t> counts_;
    std::vector<uint8_t> data_;
};

// ---- Layers --------------------------------------------------------------

struct Channel {
    int16_t identifier;
    std::vector<uint8_t> bytes;  // compression field and data
};

struct MadeLayer {
    Rect rect{}, maskRect{};
    std::vector<Channel> channels;
};

Rect layerRect(const Plan& plan, const BenchDocumentSpec& spec) {
    auto at = [](float fraction, uint32_t size) {
        return int32_t(std::lround(double(fraction) * size));
    };
    return {at(plan.y0, spec.height), at(plan.x0, spec.width), at(plan.y1, spec.height),
            at(plan.x1, spec.width)};
}

MadeLayer makeLayer(const Plan& plan, size_t index, const BenchDocumentSpec& spec) {
    MadeLayer made;
    if (plan.entry != Entry::layer) {
        // Group records carry empty channels, as Photoshop writes them.
        for (int16_t id : {-1, 0, 1, 2})
            made.channels.push_back({id, {0, 0}});
        return made;
    }
    made.rect = layerRect(plan, spec);
    made.maskRect = made.rect;
    const Rect& r = made.rect;
    bool background = index == 0;
    // 8-bit channels alternate between PackBits and zip layer by layer, as
    // documents saved by different tools mix them. PackBits cannot shrink
    // 16-bit samples whose two bytes differ, so 16-bit planes are zip with
    // prediction, as Photoshop writes them, but for the text-like layers.
    Compression compression = spec.depth == 16
                                  ? (plan.paint == Paint::stripes ? rle : zipPrediction)
                              : index % 2 == 1 ? zip
                                               : rle;
    std::vector<int16_t> ids =
        background ? std::vector<int16_t>{0, 1, 2} : std::vector<int16_t>{-1, 0, 1, 2};
    if (plan.masked) ids.push_back(-2);
    std::vector<std::unique_ptr<ChannelWriter>> writers;
    for (size_t i = 0; i < ids.size(); ++i)
        writers.push_back(
            std::make_unique<ChannelWriter>(compression, uint32_t(r.height()), spec.depth));
    size_t bytesPerSample = spec.depth / 8;
    std::vector<std::vector<uint8_t>> rows(
        ids.size(), std::vector<uint8_t>(size_t(r.width()) * bytesPerSample));
    auto store = [&](std::vector<uint8_t>& row, int32_t column, float value) {
        if (bytesPerSample == 1) {
            row[size_t(column)] = uint8_t(value * 255 + 0.5f);
        } else {
            auto sample = uint16_t(value * 65535 + 0.5f);
            row[size_t(column) * 2] = uint8_t(sample >> 8);
            row[size_t(column) * 2 + 1] = uint8_t(sample);
        }
    };
    uint32_t seed = uint32_t(index * 7919 + 17);
    for (int32_t y = r.top; y < r.bottom; ++y) {
        for (int32_t x = r.left; x < r.right; ++x) {
            Pixel p = paint(plan, r, seed, x, y, spec.width, spec.height);
            int32_t column = x - r.left;
            for (size_t c = 0; c < ids.size(); ++c) {
                float value = ids[c] == -1  ? p.a
                              : ids[c] == 0 ? p.r
                              : ids[c] == 1 ? p.g
                              : ids[c] == 2 ? p.b
                                            : maskValue(r, x, y);
                store(rows[c], column, clamp01(value));
            }
        }
        for (size_t c = 0; c < ids.size(); ++c)
            writers[c]->addRow(rows[c]);
    }
    for (size_t c = 0; c < ids.size(); ++c)
        made.channels.push_back({ids[c], writers[c]->finish()});
    return made;
}

// ---- Records -------------------------------------------------------------

void writeRecord(Bytes& out, const Plan& plan, const MadeLayer& made) {
    out.u32(uint32_t(made.rect.top));
    out.u32(uint32_t(made.rect.left));
    out.u32(uint32_t(made.rect.bottom));
    out.u32(uint32_t(made.rect.right));
    out.u16(uint16_t(made.channels.size()));
    for (const Channel& channel : made.channels) {
        out.u16(uint16_t(channel.identifier));
        out.u32(uint32_t(channel.bytes.size()));
    }
    out.text("8BIM");
    out.text(plan.entry == Entry::layer ? plan.blend : "norm");
    out.u8(plan.opacity);
    out.u8(plan.clipped ? 1 : 0);
    out.u8(plan.hidden ? 0x0A : 0x08);  // bit 3: bit 4 is meaningful; bit 1: hidden
    out.u8(0);

    Bytes extra;
    if (plan.masked) {
        extra.u32(20);
        extra.u32(uint32_t(made.maskRect.top));
        extra.u32(uint32_t(made.maskRect.left));
        extra.u32(uint32_t(made.maskRect.bottom));
        extra.u32(uint32_t(made.maskRect.right));
        extra.u8(0);  // default colour
        extra.u8(0);  // flags
        extra.u16(0);
    } else {
        extra.u32(0);
    }
    extra.u32(40);  // blending ranges: gray and three channels, all open
    for (int i = 0; i < 10; ++i)
        extra.u32(0x0000FFFF);
    size_t nameLength = std::strlen(plan.name);
    extra.u8(uint32_t(nameLength));
    extra.text(plan.name);
    extra.padTo(4);
    auto block = [&](const char* key, const Bytes& body) {
        extra.text("8BIM");
        extra.text(key);
        extra.u32(uint32_t(body.data.size()));
        extra.append(body.data);
        extra.padTo(2);
    };
    Bytes unicodeName;
    unicodeName.u32(uint32_t(nameLength));
    for (size_t i = 0; i < nameLength; ++i)
        unicodeName.u16(uint8_t(plan.name[i]));
    block("luni", unicodeName);
    if (plan.entry != Entry::layer) {
        Bytes section;
        section.u32(plan.entry == Entry::groupEnd ? 1 : 3);
        if (plan.entry == Entry::groupEnd) {
            section.text("8BIM");
            section.text(plan.blend);
        }
        block("lsct", section);
    }
    if (plan.fill != 255) {
        Bytes fill;
        fill.u8(plan.fill);
        fill.u8(0), fill.u8(0), fill.u8(0);
        block("iOpa", fill);
    }
    out.u32(uint32_t(extra.data.size()));
    out.append(extra.data);
}

// Makes every layer's channels on all processors, largest layers first.
std::vector<MadeLayer> makeLayers(const std::vector<Plan>& plans, const BenchDocumentSpec& spec) {
    std::vector<MadeLayer> made(plans.size());
    std::vector<size_t> order(plans.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    auto area = [&](size_t i) {
        Rect r = layerRect(plans[i], spec);
        return plans[i].entry == Entry::layer ? int64_t(r.width()) * r.height() : 0;
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return area(a) > area(b); });
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < order.size();)
            made[order[i]] = makeLayer(plans[order[i]], order[i], spec);
    };
    std::vector<std::jthread> threads;
    unsigned count = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned t = 0; t < count; ++t)
        threads.emplace_back(work);
    threads.clear();  // joins
    return made;
}

bool fail(std::string* error, std::string reason) {
    if (error) *error = std::move(reason);
    return false;
}

}  // namespace

std::string BenchDocumentSpec::name() const {
    return "layers-" + std::to_string(width) + "x" + std::to_string(height) + "-" +
           std::to_string(depth) + "bit" + (tagged ? "-tagged" : "");
}

bool WriteBenchDocument(const BenchDocumentSpec& spec, const std::filesystem::path& path,
                        std::string* error) {
    if (spec.depth != 8 && spec.depth != 16) return fail(error, "depth must be 8 or 16");
    if (spec.width < 64 || spec.height < 64 || spec.width > 30000 || spec.height > 30000)
        return fail(error, "the canvas must be 64 to 30000 pixels a side");
    std::vector<Plan> plans = composition();
    std::vector<MadeLayer> made = makeLayers(plans, spec);
    if (spec.tagged) {
        // Group records carry no pixels: the layers stay as they are.
        auto [divider, end] = taggedPictureGroup();
        plans.insert(plans.begin(), divider);
        made.insert(made.begin(), makeLayer(divider, 0, spec));
        plans.push_back(end);
        made.push_back(makeLayer(end, 0, spec));
    }

    // Layer info: count, records, then every channel's data in record order.
    Bytes records;
    records.u16(uint16_t(plans.size()));
    uint64_t channelBytes = 0;
    for (size_t i = 0; i < plans.size(); ++i) {
        writeRecord(records, plans[i], made[i]);
        for (const Channel& channel : made[i].channels)
            channelBytes += channel.bytes.size();
    }
    uint64_t infoLength = records.data.size() + channelBytes;
    uint64_t infoPadded = (infoLength + 3) / 4 * 4;

    Bytes head;
    head.text("8BPS");
    head.u16(1);
    head.u32(0), head.u16(0);
    head.u16(3);
    head.u32(spec.height);
    head.u32(spec.width);
    head.u16(spec.depth);
    head.u16(3);  // RGB
    head.u32(0);  // colour mode data
    head.u32(0);  // image resources
    // Layer and mask information. 8 bits: the layer info itself; 16 bits:
    // an empty layer info and the layer info in an "Lr16" block.
    bool inBlock = spec.depth == 16;
    uint64_t sectionLength = inBlock ? 4 + 4 + 12 + infoPadded : 4 + infoPadded + 4;
    if (sectionLength > UINT32_MAX) return fail(error, "the layer section passes 4 GiB");
    head.u32(uint32_t(sectionLength));
    if (inBlock) {
        head.u32(0);  // layer info
        head.u32(0);  // global layer mask info
        head.text("8BIM");
        head.text("Lr16");
    }
    head.u32(uint32_t(infoPadded));

    // The merged image: a flat colour, PackBits.
    Bytes merged;
    merged.u16(rle);
    std::vector<uint8_t> flatRow(size_t(spec.width) * spec.depth / 8, 0x80), packed;
    packBits(flatRow.data(), flatRow.size(), packed);
    for (uint32_t i = 0; i < spec.height * 3; ++i)
        merged.u16(uint32_t(packed.size()));

    std::filesystem::path temporary = path;
    temporary += ".partial";
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(temporary.c_str(), "wb"), std::fclose);
    if (!file) return fail(error, "cannot write " + temporary.string());
    auto write = [&](const void* bytes, size_t length) {
        return std::fwrite(bytes, 1, length, file.get()) == length;
    };
    bool written = write(head.data.data(), head.data.size()) &&
                   write(records.data.data(), records.data.size());
    for (size_t i = 0; i < made.size() && written; ++i)
        for (const Channel& channel : made[i].channels)
            written = written && write(channel.bytes.data(), channel.bytes.size());
    static const uint8_t kZeros[4] = {};
    written = written && write(kZeros, infoPadded - infoLength);
    if (!inBlock) written = written && write(kZeros, 4);  // global layer mask info
    written = written && write(merged.data.data(), merged.data.size());
    for (uint32_t i = 0; i < spec.height * 3 && written; ++i)
        written = write(packed.data(), packed.size());
    written = std::fflush(file.get()) == 0 && written;
    file.reset();
    std::error_code renamed;
    if (written) std::filesystem::rename(temporary, path, renamed);
    if (!written || renamed) {
        std::filesystem::remove(temporary, renamed);
        return fail(error, "cannot write " + path.string());
    }
    return true;
}

std::filesystem::path BenchDocumentPath(const BenchDocumentSpec& spec, std::string* error,
                                        std::filesystem::path folder) {
    if (folder.empty()) {
        const char* env = std::getenv("LF_BENCH_DOCUMENTS");
        folder =
            env && *env ? std::filesystem::path(env) : std::filesystem::path(LF_BENCH_DOCUMENTS);
    }
    // The name carries a version: change it when the composition changes.
    std::filesystem::path path = folder / (spec.name() + "-v1.psd");
    if (std::filesystem::exists(path)) return path;
    std::error_code made;
    std::filesystem::create_directories(folder, made);
    if (!WriteBenchDocument(spec, path, error)) return {};
    return path;
}
