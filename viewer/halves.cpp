// SPDX-License-Identifier: GPL-3.0-or-later
// A long file read in two halves at once. The groups of a load are counted in lines from the
// start, which the second half cannot know while the first is read; so both halves are summed
// up in blocks of lines with no regard to groups, and the groups are put together afterwards:
// a block within a group is taken as it stands, a block holding a group's last line is read
// again line by line (about one block a group). Only a stretch of the recorder's own lines is
// read so; the first line of another kind ends it, and the reading from the start takes over.
#include "halves.h"

#include "io.h"
#include "recording_line.h"
#include "ui.h"

#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <future>

namespace {

constexpr std::size_t kLongestLine = 63;  // longer ones may not be known at once from the start
constexpr int kGroups = 999;
constexpr int kWindowsPerLook = 16;  // windows read (256 KB each) between looks at the progress or a stop

// One half summed up.
struct Half {
    std::vector<Stretch::Block> blocks;
    ExponentSums sums{};
    long long lines = 0;
    long long end = 0;     // where its last line ends
    bool limited = false;  // ended at `limit`, not at a line of another kind or the file's end
};

// Sums up the recorder lines from `from` until one would end past `limit`. `look` runs every
// few windows with the offset reached and stops the reading when it returns false.
template <class Look>
void sum_up(FileReader& reader, long long from, long long limit, long long blockLines, Look look, Half* half) {
    reader.seek(from);
    // Gathered in locals, whose address the text never has: they stay in registers.
    long long begin = from, lines = 0;
    KeySpan keys;
    ExponentSums sums{};
    bool limited = false;
    for (int windows = 0;; ++windows) {
        if (windows % kWindowsPerLook == 0 && !look(reader.tell())) break;
        std::size_t available = 0, used = 0;
        const char* p = reader.peek(64, &available);
        if (!p || available == 0) break;
        const long long at = reader.tell();
        bool ended = false;  // at a line of another kind, or at the limit
        // Within the window, with room for the look ahead; at the file's end its zero stops it.
        while (used == 0 || available - used >= 64) {
            RecordingLineFields f;
            std::size_t n = recording_line_length(p + used, &f);
            if (n == 0 || n > kLongestLine || at + static_cast<long long>(used + n) > limit) {
                limited = n != 0 && n <= kLongestLine;
                ended = true;
                break;
            }
            LineKeys k = line_keys(f);
            keys.add(k);
            sums[bucket(k)] += signed_mantissa(k);
            used += n;
            if (keys.lines == blockLines) {
                half->blocks.push_back(Stretch::Block{begin, keys});
                lines += keys.lines;
                begin = at + static_cast<long long>(used);
                keys = KeySpan{};
            }
        }
        reader.skip(used);
        if (ended) break;
    }
    if (keys.lines) half->blocks.push_back(Stretch::Block{begin, keys});
    half->lines = lines + keys.lines;
    half->limited = limited;
    half->sums = sums;
    half->end = reader.tell();
}

// Where the second half begins: after the first line end from `at` on; -1 when none is near.
long long second_half_at(FileReader& reader, long long at) {
    reader.seek(at);
    std::size_t available = 0;
    const char* p = reader.peek(4096, &available);
    const void* nl = p ? std::memchr(p, '\n', available) : nullptr;
    return nl ? at + (static_cast<const char*>(nl) - p) + 1 : -1;
}

}  // namespace

bool read_halves(int file, long long size, const HalvesPlan& plan, Stretch* out) {
    *out = Stretch{};
    FileReader first(file), second(file);
    long long split =
        first.ok() && second.ok() ? second_half_at(second, plan.splitAt >= 0 ? plan.splitAt : size / 2) : -1;
    if (split <= 0) return true;  // an empty stretch: the reading from the start does it all
    std::atomic<bool> stop{false};
    std::atomic<long long> secondAt{split};
    Half one, two;
    auto helper = std::async(std::launch::async, [&] {
        sum_up(
            second, split, LLONG_MAX, plan.blockLines,
            [&](long long at) {
                secondAt.store(at, std::memory_order_relaxed);
                return !stop.load(std::memory_order_relaxed);
            },
            &two);
    });
    auto share = [&](long long firstAt) {
        long long done = firstAt + secondAt.load(std::memory_order_relaxed) - split;
        return size > 0 ? static_cast<double>(done) / static_cast<double>(size) : 0.0;
    };
    bool cancelled = false;
    sum_up(
        first, 0, split, plan.blockLines,
        [&](long long at) {
            cancelled = !ProgressStep(share(at));
            return !cancelled;
        },
        &one);
    // The second half is of use only when the first reached it.
    if (cancelled || !one.limited) stop = true;
    while (helper.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
        if (!cancelled && !ProgressStep(share(one.end))) cancelled = stop = true;
    helper.get();
    if (cancelled) return false;

    out->blocks = std::move(one.blocks);
    out->sums = one.sums;
    out->lines = one.lines;
    if (one.limited && !two.blocks.empty() && two.blocks.front().begin == split) {
        out->blocks.insert(out->blocks.end(), two.blocks.begin(), two.blocks.end());
        for (std::size_t b = 0; b < out->sums.size(); ++b) out->sums[b] += two.sums[b];
        out->lines += two.lines;
    }
    return true;
}

long long put_together(int file, const Stretch& stretch, long long step, Pass* pass, double* time, double* value,
                       double* lo, double* hi) {
    const long long handoff = stretch.lines / step * step;  // the lines from here on are read as ever
    if (handoff == 0) return SetFilePtr(file, 0, 0) == 0 ? 0 : -1;
    FileReader reader(file, 8192);  // a block at a time, about 6 KB
    ExponentSums sums = stretch.sums;
    // The next recorder line: its keys, and its length (0 when there is none) passed over.
    auto next = [&reader](LineKeys* k) -> std::size_t {
        std::size_t available = 0;
        const char* p = reader.peek(64, &available);
        RecordingLineFields f;
        std::size_t n = p ? recording_line_length(p, &f) : 0;
        if (n == 0 || n > kLongestLine) return 0;
        *k = line_keys(f);
        reader.skip(n);
        return n;
    };
    long long line = 0;  // the number of the next line
    pass->group_begin(0, step);
    for (const Stretch::Block& b : stretch.blocks) {
        if (line >= handoff) break;
        const long long end = line + b.keys.lines;
        if ((line / step + 1) * step > end) {  // no group ends within it
            pass->take_keys(b.keys);
            line = end;
            continue;
        }
        reader.seek(b.begin);
        KeySpan batch;
        for (; line < end && line < handoff; ++line) {
            LineKeys k{};
            if (next(&k) == 0) return -1;
            if ((line + 1) % step != 0) {
                batch.add(k);
                continue;
            }
            // A group's last line, as the reading from the start takes it: the numbers as the
            // scanner reads them, no key.
            pass->take_keys(batch);
            batch = KeySpan{};
            const long long group = line / step;
            const bool drawn = group < kGroups;
            if (drawn) {
                time[group] = Pass::time_of(k.time);
                value[group] = Pass::value_of(k.value);
                pass->value(time[group], value[group]);
                sums[bucket(k)] -= signed_mantissa(k);
            } else {
                KeySpan one;
                one.add(k);
                pass->take_keys(one);
            }
            pass->group_end(reader.tell(), drawn ? &lo[group] : nullptr, drawn ? &hi[group] : nullptr);
            if (line + 1 < handoff) pass->group_begin(reader.tell(), group + 1 < kGroups ? step : 0);
        }
        pass->take_keys(batch);
    }
    // The stretch's lines past the last whole group are read again from the start's way: their
    // sums come from there.
    const long long at = reader.tell();
    for (long long k = handoff; k < stretch.lines; ++k) {
        LineKeys keys{};
        if (next(&keys) == 0) return -1;
        sums[bucket(keys)] -= signed_mantissa(keys);
    }
    if (SetFilePtr(file, at, 0) != at) return -1;
    pass->add_sums(sums);
    return handoff / step;
}
