// SPDX-License-Identifier: GPL-3.0-or-later
// A long file of recorder lines read in two halves at once: each half summed up in blocks of
// lines on a thread of its own, then the groups of the load put together from the blocks, as
// one reading from the start would have read them.
#pragma once

#include "reading.h"

#include <vector>

// When and how a load is read in halves (the tests take smaller blocks and other splits).
struct HalvesPlan {
    long long minBytes = 8LL << 20;  // smaller files are read from the start only
    long long blockLines = 256;
    long long splitAt = -1;  // the second half from the line after this byte; -1: the middle
};

// Recorder lines one after another from the file's start: blocks of them, each from where its
// first line or the blanks before it begin, and the sums of all.
struct Stretch {
    struct Block {
        long long begin = 0;
        KeySpan keys;
    };
    std::vector<Block> blocks;
    ExponentSums sums{};
    long long lines = 0;
};

// Reads the stretch of recorder lines the file begins with, its two halves on two threads,
// the progress stepped by the share of the file's `size` bytes read; false when the operator
// cancelled. Only lines of at most 63 bytes count, so that a reading from the start knows each
// of them at once, wherever its 64 KB window stands.
bool read_halves(int file, long long size, const HalvesPlan& plan, Stretch* out);

// Puts the stretch's whole groups into `pass`, time, value, lo and hi as lesen with a pass and
// then lesen_rest read them: the blocks as they are, the blocks holding a group's last line read
// again. Leaves the file at the first group it did not put together and returns that group's
// number (those after the 999th numbered on); -1 when the file no longer holds the stretch.
long long put_together(int file, const Stretch& stretch, long long step, Pass* pass, double* time, double* value,
                       double* lo, double* hi);
