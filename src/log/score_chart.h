#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "match/match_facts.h"

namespace kest {

// The score axis: from `low` to `high` in steps of 1, 2 or 5 times a power of ten.
struct ScoreAxis {
    std::int64_t low;
    std::int64_t high;
    std::int64_t step;
};

// The smallest such axis that holds 0, `lowest` and `highest` in at most `most` steps.
ScoreAxis scoreAxis(std::int32_t lowest, std::int32_t highest, int most = 5);

// The play time between ticks, in blocks: the smallest round step, from a second to twelve
// hours, that crosses `span` blocks in at most `most` steps.
std::int64_t timeStep(std::int64_t span, int most = 8);

// A tick's play time as a short label: "m:ss", or "h:mm:ss" from an hour.
std::string tickTime(std::int64_t blocks);

// Where the labels at the lines' ends go: each as near its wanted height as it can be, at least
// `gap` from the next, all between `top` and `bottom` where they fit, in the order wanted.
std::vector<double> spreadLabels(const std::vector<double>& wanted, double gap, double top, double bottom);

// A coordinate as the chart writes it: to a tenth, without a trailing ".0".
std::string svgNumber(double value);

struct ChartTick {
    double at;  // across the plot for time, up it for scores
    std::int64_t value;  // blocks, or a score
};

struct ChartLine {
    std::size_t player;  // in the level's players
    std::int32_t score;  // at the end of the level
    std::string path;  // the step line's SVG path data
    double labelY;  // the end label's height, clear of the others
};

// Everything the score chart of a level draws, in the units of its view box.
struct ScoreChart {
    static constexpr double Width = 720;
    static constexpr double Height = 270;
    static constexpr double PlotLeft = 44;
    static constexpr double PlotTop = 12;
    static constexpr double PlotBottom = Height - 36;
    static constexpr double LabelGap = 14;  // the end labels' line height

    double plotRight = Width;  // what the end labels leave
    std::vector<ChartTick> timeTicks;
    std::vector<ChartTick> scoreTicks;
    std::vector<ChartLine> lines;  // in the order of `players`
};

// The chart of the scores of `players` (places in the level's players) from the level's start to
// `end` (the next level's start, or the demo's end), each line from 0 at the start, a step at each
// of the level's score steps, on to the end. `labelChars` is the longest end label's length.
ScoreChart scoreChart(const LevelFacts& level, std::int64_t end, const std::vector<std::size_t>& players,
                      std::size_t labelChars);

}  // namespace kest
