#pragma once
// Conventions shared by every pixel kernel of this library.
//
// Planes. A kernel works on 32-bit float planes in memory:
//   - four-channel planes interleave R, G, B and a fourth channel (opacity A
//     or fill F) per pixel, premultiplied: colour samples are already
//     multiplied by the fourth sample;
//   - one-channel planes hold one float per pixel (opacity, fill or a mask);
//   - the one two-channel layout, gray-and-alpha textures, interleaves gray
//     and alpha.
// Rows follow each other `stride` bytes apart. Strides are in bytes, must be
// multiples of 4 (rows of whole floats) and may be larger than the pixels of
// a row: the bytes past a row's pixels are never read or written. Widths and
// heights are in pixels; a height of 0 or below, or a width of 0, draws
// nothing. Pointers need only float alignment.
//
// Aliasing. Unless a kernel says otherwise, its output may be exactly one of
// its inputs (same pointer and same stride): every pixel is read before it is
// written. Other overlaps between planes are not allowed.
//
// Arithmetic. Every kernel computes in single precision in the order its
// header states, unless the header says double. The forms of a kernel chosen
// for the processor (see TarrowKernelSet.h) give results identical to the
// reference form, bit for bit.
//
// Threads. Kernels keep no state: any number of threads may run them at once
// on planes that do not overlap.
