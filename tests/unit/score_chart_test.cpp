#include "log/score_chart.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

namespace kest {
namespace {

// The score axis holds zero and every score in at most five round steps; the time step is the
// smallest round one of at most eight steps; numbers and times as the chart writes them.
TEST(ScoreChart, AxesAndNumbers)
{
    const std::int32_t Most = std::numeric_limits<std::int32_t>::max();
    const std::tuple<std::int32_t, std::int32_t, std::int64_t, std::int64_t, std::int64_t> axes[] = {
        {0, 0, 0, 1, 1},     {0, 5, 0, 5, 1},    {0, 6, 0, 6, 2},     {0, 27, 0, 30, 10},
        {-3, 12, -5, 15, 5}, {-7, 0, -8, 0, 2},  {3, 4, 0, 4, 1},     {-7, -3, -8, 0, 2},
        {0, Most, 0, 2500000000, 500000000},
    };
    for (const auto& [lowest, highest, low, high, step] : axes) {
        const ScoreAxis axis = scoreAxis(lowest, highest);
        EXPECT_EQ(std::tuple(axis.low, axis.high, axis.step), std::tuple(low, high, step)) << lowest << " to " << highest;
    }
    const std::pair<std::int64_t, std::int64_t> timeSteps[] = {
        {1, 10}, {80, 10}, {81, 20}, {2060, 300}, {4250, 600}, {3456000, 432000}, {3456001, 864000}};
    for (const auto& [span, step] : timeSteps)
        EXPECT_EQ(timeStep(span), step) << span;
    const std::pair<double, const char*> numbers[] = {
        {0, "0"}, {100, "100"}, {12.34, "12.3"}, {0.05, "0.1"}, {-0.04, "0"}, {-2.5, "-2.5"}, {99.96, "100"}};
    for (const auto& [value, text] : numbers)
        EXPECT_EQ(svgNumber(value), text) << value;
    const std::pair<std::int64_t, const char*> times[] = {
        {0, "0:00"}, {599, "0:59"}, {600, "1:00"}, {35999, "59:59"}, {36000, "1:00:00"}, {3600000, "100:00:00"}};
    for (const auto& [blocks, text] : times)
        EXPECT_EQ(tickTime(blocks), text) << blocks;
}

TEST(ScoreChart, EndLabelsKeepTheirGapWithinThePlot)
{
    // wanted, top, bottom, placed
    const std::tuple<std::vector<double>, double, double, std::vector<double>> cases[] = {
        {{}, 12, 234, {}}, {{50}, 12, 234, {50}}, {{50, 52}, 12, 234, {50, 64}}, {{50, 50, 50}, 12, 234, {50, 64, 78}},
        {{52, 50}, 12, 234, {64, 50}},      // in the order wanted
        {{230, 232}, 12, 234, {220, 234}},  // up from the bottom
        {{0, 300}, 12, 234, {12, 234}},
        {{10, 10, 10}, 0, 20, {0, 14, 28}},  // too many for the room: past the bottom
    };
    for (const auto& [wanted, top, bottom, placed] : cases)
        EXPECT_EQ(spreadLabels(wanted, 14, top, bottom), placed) << ::testing::PrintToString(wanted);
}

TEST(ScoreChart, StepLinesTicksAndLabels)
{
    LevelFacts level;
    for (const char* name : {"Ash", "Birch", "Cedar"})
        level.players.emplace_back().name = name;
    // Ash scores twice in one block, later loses one; Birch kills himself; Cedar does nothing.
    level.scoreSteps = {{20, 0, 1}, {20, 0, 2}, {50, 1, -1}, {80, 0, 1}};
    const ScoreChart chart = scoreChart(level, 100, {0, 1, 2}, 5);
    // From 0 to 10 seconds across 44 to 660 (the labels take the least room, 60); from -1 to 2 up.
    EXPECT_EQ(chart.plotRight, 660);
    using Ticks = std::vector<std::pair<double, std::int64_t>>;
    Ticks time, score;
    for (const ChartTick& tick : chart.timeTicks)
        time.emplace_back(tick.at, tick.value);
    for (const ChartTick& tick : chart.scoreTicks)
        score.emplace_back(tick.at, tick.value);
    EXPECT_EQ(time, (Ticks{{44, 0}, {167.2, 20}, {290.4, 40}, {413.6, 60}, {536.8, 80}, {660, 100}}));
    EXPECT_EQ(score, (Ticks{{234, -1}, {160, 0}, {86, 1}, {12, 2}}));
    using Lines = std::vector<std::tuple<std::size_t, std::int32_t, std::string, double>>;
    Lines lines;
    for (const ChartLine& line : chart.lines)
        lines.emplace_back(line.player, line.score, line.path, line.labelY);
    EXPECT_EQ(lines, (Lines{{0, 1, "M44 160H167.2V86V12H536.8V86H660", 86}, {1, -1, "M44 160H352V234H660", 234},
                            {2, 0, "M44 160H660", 160}}));

    // A later level's chart starts at its own start; a step past the given end takes the end with it,
    // and a long label takes room from the plot, seven units a character, up to 260.
    level.time = 600;
    level.scoreSteps = {{700, 1, 1}};
    for (const auto& [labelChars, path] : {std::pair{20, "M44 234H560V12"}, {40, "M44 234H460V12"}}) {
        const ScoreChart later = scoreChart(level, 650, {1}, labelChars);
        ASSERT_EQ(later.lines.size(), 1u);
        EXPECT_EQ(later.lines[0].path, path);
        EXPECT_EQ(later.timeTicks.front().value, 600);
        EXPECT_EQ(later.timeTicks.back().value, 700);
    }
}

}  // namespace
}  // namespace kest
