// Every vector form of a kernel against its reference form, for every kernel
// with vector forms in the kernel list: random planes of
// every width from 1 to 67 (all batch remainders of 4 and 8 lanes), rows with
// odd padding, starts off vector alignment, guard floats after every row.
#include "PlaneFixture.h"
#include "kernels/TarrowKernelSet.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using kernels_test::TestPlane;

namespace {

using Planes = std::vector<TestPlane*>;
using Run = std::function<void(const TarrowKernelSet&, const Planes& in, TestPlane& out,
                               uint32_t width, int32_t height)>;

struct Size {
    uint32_t width, height;
};

struct Case {
    std::string kernel;  // its field in the kernel set
    std::vector<uint32_t> inputChannels;
    uint32_t outputChannels;
    Run run;
    // Whether the output may be input 0 itself; such kernels are also run in place.
    bool inPlace = true;
    std::function<Size(Size)> inputSize = [](Size s) { return s; };
    std::function<Size(Size)> outputSize = [](Size s) { return s; };
    // Tells the case from the kernel's others.
    std::string variant = {};

    std::string name() const { return variant.empty() ? kernel : kernel + " " + variant; }
};

#define D(i) in[i]->data()
#define S(i) in[i]->stride()

std::vector<Case> streamingCases() {
    std::vector<Case> cases = {
        {"fillPlanar",
         {},
         1,
         [](auto& k, auto&, auto& out, uint32_t w, int32_t h) {
             k.fillPlanar(out.data(), w, h, out.stride(), 0.3f);
         }},
        {"fillRGBA",
         {},
         4,
         [](auto& k, auto&, auto& out, uint32_t w, int32_t h) {
             k.fillRGBA(out.data(), w, h, out.stride(), 0.2f, 0.4f, 0.6f, 0.7f);
         }},
        {"crossfadePlanar",
         {1, 1},
         1,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.crossfadePlanar(D(0), D(1), out.data(), w, h, S(0), S(1), out.stride(), 0.3f);
         }},
        {"crossfadeRGBA",
         {4, 4},
         4,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.crossfadeRGBA(D(0), D(1), out.data(), w, h, S(0), S(1), out.stride(), 0.7f);
         }},
        {"crossfadeWithMaskPlanar",
         {1, 1, 1},
         1,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.crossfadeWithMaskPlanar(D(0), D(1), D(2), out.data(), w, h, S(0), S(1), S(2),
                                       out.stride());
         }},
        {"crossfadeWithMaskRGBA",
         {4, 4, 1},
         4,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.crossfadeWithMaskRGBA(D(0), D(1), D(2), out.data(), w, h, S(0), S(1), S(2),
                                     out.stride());
         }},
        {"invertPlanar",
         {1},
         1,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.invertPlanar(D(0), out.data(), w, h, S(0), out.stride());
         }},
        {"differencePlanar",
         {1, 1},
         1,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.differencePlanar(D(0), D(1), out.data(), w, h, S(0), S(1), out.stride());
         }},
        {"applyMaskPlanar",
         {1, 1},
         1,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.applyMaskPlanar(D(0), D(1), out.data(), w, h, S(0), S(1), out.stride());
         }},
        {"applyMaskRGBA",
         {4, 1},
         4,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.applyMaskRGBA(D(0), D(1), out.data(), w, h, S(0), S(1), out.stride());
         }},
        {"divideMaskPlanar",
         {1, 1},
         1,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.divideMaskPlanar(D(0), D(1), out.data(), w, h, S(0), S(1), out.stride(), 0.6f);
         }},
        {"divideMaskRGBA",
         {4, 1},
         4,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.divideMaskRGBA(D(0), D(1), out.data(), w, h, S(0), S(1), out.stride(), 0.6f);
         }},
        {"makeOpaqueRGBA",
         {4},
         4,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.makeOpaqueRGBA(D(0), out.data(), w, h, S(0), out.stride(), 0.9f);
         }},
        {"colorWithMaskRGBA",
         {1},
         4,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.colorWithMaskRGBA(D(0), out.data(), w, h, S(0), out.stride(), 0.1f, 0.5f, 0.9f);
         },
         false},
        {"overrideAlphaRGBA",
         {4, 4},
         4,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.overrideAlphaRGBA(D(0), D(1), out.data(), w, h, S(0), S(1), out.stride());
         }},
        {"scaleBiasPlanar",
         {1},
         1,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.scaleBiasPlanar(D(0), out.data(), w, h, S(0), out.stride(), 1.7f, -0.2f);
         }},
        {"biasScalePlanar",
         {1},
         1,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.biasScalePlanar(D(0), out.data(), w, h, S(0), out.stride(), -0.2f, 1.7f);
         }},
        {"restrictChannelsRGBA",
         {4, 4},
         4,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.restrictChannelsRGBA(D(0), D(1), out.data(), w, h, S(0), S(1), out.stride(), 0x5);
         }},
        {"isolateOpacity",
         {4},
         1,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.isolateOpacity(D(0), out.data(), w, h, S(0), out.stride());
         },
         false},
        {"applyTextureRGBA",
         {4, 1},
         1,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.applyTextureRGBA(D(0), D(1), out.data(), w, h, S(0), S(1), out.stride(), 0.4f);
         },
         false},
        {"applyTextureGrayAlpha",
         {2, 1},
         1,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.applyTextureGrayAlpha(D(0), D(1), out.data(), w, h, S(0), S(1), out.stride(), 0.4f);
         },
         false},
        {"effectMaskPlanar",
         {1, 1, 1, 1},
         1,
         [](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
             k.effectMaskPlanar(D(0), D(1), D(2), D(3), out.data(), w, h, S(0), S(1), S(2), S(3),
                                out.stride());
         }},
    };
    // Scaling: odd source sizes make the halving wrap at the far edges.
    auto halved = [](Size s) { return Size{2 * s.width - s.width % 2, 2 * s.height - 1}; };
    auto doubled = [](Size s) { return Size{2 * s.width, 2 * s.height}; };
    for (uint32_t channels : {1u, 4u}) {
        const std::string suffix = channels == 1 ? "1" : "4";
        cases.push_back({"scaleUp2x" + suffix,
                         {channels},
                         channels,
                         [channels](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
                             (channels == 1 ? k.scaleUp2x1 : k.scaleUp2x4)(D(0), out.data(), w, h,
                                                                           S(0), out.stride());
                         },
                         false,
                         [](Size s) { return s; },
                         doubled});
        cases.push_back({"scaleDown2x" + suffix,
                         {channels},
                         channels,
                         [channels, halved](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
                             const Size source = halved({w, uint32_t(h)});
                             (channels == 1 ? k.scaleDown2x1 : k.scaleDown2x4)(
                                 D(0), out.data(), source.width, source.height, w, h, S(0),
                                 out.stride());
                         },
                         false,
                         halved});
    }
    for (int mode = 0; mode < kTarrowBlendModeCount; ++mode)
        for (bool fillAware : {false, true})
            cases.push_back(
                {.kernel = fillAware ? "fillAwareBlend" : "plainBlend",
                 .inputChannels = {4, 4},
                 .outputChannels = 4,
                 .run =
                     [mode, fillAware](auto& k, auto& in, auto& out, uint32_t w, int32_t h) {
                         const TarrowBlendTable& table =
                             fillAware ? k.fillAwareBlend : k.plainBlend;
                         table[mode](D(0), D(1), out.data(), 5, 7, w, h, S(0), S(1), out.stride(),
                                     0.8f);
                     },
                 .variant = "mode " + std::to_string(mode)});
    return cases;
}

#undef D
#undef S

// The kernels with vector forms, from the kernel list.
std::vector<std::string> vectorKernelNames() {
#define TARROW_KERNEL_NAME(field, Type, EntryPoint) #field,
    return {TARROW_VECTOR_KERNELS(TARROW_KERNEL_NAME) TARROW_BLEND_TABLES(TARROW_KERNEL_NAME)};
#undef TARROW_KERNEL_NAME
}

// The cases of every kernel with vector forms, in the list's order. A listed
// kernel without a case, or a case of a kernel not listed, is a failure.
std::vector<Case> listedCases() {
    const std::vector<Case> all = streamingCases();
    std::vector<Case> listed;
    for (const std::string& kernel : vectorKernelNames()) {
        const size_t before = listed.size();
        for (const Case& c : all)
            if (c.kernel == kernel) listed.push_back(c);
        if (listed.size() == before) ADD_FAILURE() << kernel << " has no case";
    }
    EXPECT_EQ(listed.size(), all.size()) << "some cases are of kernels without vector forms";
    return listed;
}

std::vector<const TarrowKernelSet*> vectorSets() {
    std::vector<const TarrowKernelSet*> sets;
    for (TarrowIsa isa : {TarrowIsa::sse4, TarrowIsa::avx2})
        if (const TarrowKernelSet* set = TarrowKernelSetFor(isa)) sets.push_back(set);
    return sets;
}

// Runs one case at one size with `set`, on fresh planes made from `seed`;
// with `inPlace` the output starts as a copy of input 0 and replaces it.
TestPlane runCase(const Case& c, const TarrowKernelSet& set, Size size, unsigned seed,
                  bool inPlace) {
    std::mt19937 random(seed);
    std::vector<TestPlane> inputs;
    const Size inputSize = c.inputSize(size), outputSize = c.outputSize(size);
    for (uint32_t channels : c.inputChannels) {
        inputs.emplace_back(inputSize.width, inputSize.height, channels);
        inputs.back().randomize(random);
    }
    TestPlane out(outputSize.width, outputSize.height, c.outputChannels);
    out.randomize(random);
    Planes planes;
    for (TestPlane& plane : inputs)
        planes.push_back(&plane);
    if (inPlace) {
        out = inputs[0];
        planes[0] = &out;
    }
    c.run(set, planes, out, size.width, int32_t(size.height));
    EXPECT_TRUE(out.guardsIntact()) << c.name() << " in " << set.name << " wrote outside its rows";
    return out;
}

}  // namespace

TEST(KernelEquivalence, VectorFormsEqualReferenceAtEveryWidth) {
    const TarrowKernelSet& reference = *TarrowKernelSetFor(TarrowIsa::reference);
    const auto sets = vectorSets();
    if (sets.empty()) GTEST_SKIP() << "this processor has no vector kernel set";
    for (const Case& c : listedCases())
        for (uint32_t width = 1; width <= 67; ++width) {
            const Size size{width, 3};
            const TestPlane expected = runCase(c, reference, size, width, false);
            for (const TarrowKernelSet* set : sets) {
                EXPECT_TRUE(runCase(c, *set, size, width, false).samePixels(expected))
                    << c.name() << " in " << set->name << " differs at width " << width;
                if (c.inPlace && !c.inputChannels.empty()) {
                    EXPECT_TRUE(runCase(c, *set, size, width, true).samePixels(expected))
                        << c.name() << " in place in " << set->name << " differs at width "
                        << width;
                }
            }
        }
}

TEST(KernelEquivalence, NothingIsDrawnForEmptyPlanes) {
    for (TarrowIsa isa : {TarrowIsa::reference, TarrowIsa::sse4, TarrowIsa::avx2}) {
        const TarrowKernelSet* set = TarrowKernelSetFor(isa);
        if (!set) continue;
        for (const Case& c : listedCases())
            for (Size size : {Size{0, 3}, Size{5, 0}}) {
                if (c.kernel.rfind("scaleDown", 0) == 0 && size.width == 0) continue;
                std::vector<TestPlane> inputs;
                for (uint32_t channels : c.inputChannels)
                    inputs.emplace_back(5, 3, channels);
                Planes planes;
                for (TestPlane& plane : inputs)
                    planes.push_back(&plane);
                TestPlane out(10, 6, c.outputChannels);
                out.fill(0.125f);
                c.run(*set, planes, out, size.width, int32_t(size.height));
                TestPlane untouched(10, 6, c.outputChannels);
                untouched.fill(0.125f);
                EXPECT_TRUE(out.samePixels(untouched) && out.guardsIntact())
                    << c.name() << " in " << set->name;
            }
    }
}
