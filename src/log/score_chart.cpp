#include "log/score_chart.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace kest {
namespace {

constexpr std::int64_t BlocksPerSecond = 10;

std::int64_t floorDivided(std::int64_t value, std::int64_t by)
{
    return value / by - (value % by != 0 && value < 0 ? 1 : 0);
}

std::int64_t ceilDivided(std::int64_t value, std::int64_t by) { return -floorDivided(-value, by); }

// The end label's room right of the plot: about seven units a character, within bounds.
double labelRoom(std::size_t labelChars)
{
    return std::clamp(20.0 + 7.0 * static_cast<double>(labelChars), 60.0, 260.0);
}

}  // namespace

ScoreAxis scoreAxis(std::int32_t lowest, std::int32_t highest, int most)
{
    const std::int64_t from = std::min<std::int64_t>(0, lowest);
    const std::int64_t to = std::max<std::int64_t>({0, highest, from + 1});
    for (std::int64_t power = 1;; power *= 10) {
        for (const std::int64_t step : {power, 2 * power, 5 * power}) {
            const std::int64_t low = floorDivided(from, step) * step;
            const std::int64_t high = ceilDivided(to, step) * step;
            if (high - low <= most * step)
                return {low, high, step};
        }
    }
}

std::int64_t timeStep(std::int64_t span, int most)
{
    static constexpr std::int64_t Seconds[] = {1,   2,    5,    10,   15,   30,    60,    120,   180,
                                               300, 600,  900,  1800, 3600, 7200,  10800, 21600, 43200};
    for (const std::int64_t seconds : Seconds) {
        if (span <= most * seconds * BlocksPerSecond)
            return seconds * BlocksPerSecond;
    }
    const std::int64_t halfDays = ceilDivided(span, most * Seconds[std::size(Seconds) - 1] * BlocksPerSecond);
    return halfDays * Seconds[std::size(Seconds) - 1] * BlocksPerSecond;
}

std::string tickTime(std::int64_t blocks)
{
    const std::int64_t seconds = blocks / BlocksPerSecond;
    const auto twoDigits = [](std::int64_t value) { return (value < 10 ? "0" : "") + std::to_string(value); };
    if (seconds < 3600)
        return std::to_string(seconds / 60) + ":" + twoDigits(seconds % 60);
    return std::to_string(seconds / 3600) + ":" + twoDigits(seconds / 60 % 60) + ":" + twoDigits(seconds % 60);
}

std::vector<double> spreadLabels(const std::vector<double>& wanted, double gap, double top, double bottom)
{
    std::vector<std::size_t> order(wanted.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return wanted[a] < wanted[b]; });
    std::vector<double> at(wanted.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        at[i] = std::clamp(wanted[order[i]], top, bottom);
    // Down from the top, each clear of the one above; then up from the bottom where that went past
    // it; then down once more from the top, for labels too many to fit, which then run past the bottom.
    for (std::size_t i = 1; i < at.size(); ++i)
        at[i] = std::max(at[i], at[i - 1] + gap);
    for (std::size_t i = at.size(); i-- > 0;)
        at[i] = std::min(at[i], i + 1 < at.size() ? at[i + 1] - gap : bottom);
    for (std::size_t i = 0; i < at.size(); ++i)
        at[i] = std::max(at[i], i > 0 ? at[i - 1] + gap : top);
    std::vector<double> placed(wanted.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        placed[order[i]] = at[i];
    return placed;
}

std::string svgNumber(double value)
{
    const long long tenths = std::llround(value * 10);
    const long long size = tenths < 0 ? -tenths : tenths;
    std::string text = (tenths < 0 ? "-" : "") + std::to_string(size / 10);
    if (size % 10 != 0)
        text += "." + std::to_string(size % 10);
    return text;
}

ScoreChart scoreChart(const LevelFacts& level, std::int64_t end, const std::vector<std::size_t>& players,
                      std::size_t labelChars)
{
    const std::int64_t start = level.time;
    end = std::max(end, start + BlocksPerSecond);
    std::vector<std::int32_t> finalScore(level.players.size(), 0);
    std::int32_t lowest = 0;
    std::int32_t highest = 0;
    for (const ScoreStep& step : level.scoreSteps) {
        end = std::max(end, step.time);
        finalScore.at(step.player) = step.score;
        if (std::find(players.begin(), players.end(), step.player) != players.end()) {
            lowest = std::min(lowest, step.score);
            highest = std::max(highest, step.score);
        }
    }
    const ScoreAxis axis = scoreAxis(lowest, highest);

    ScoreChart chart;
    chart.plotRight = ScoreChart::Width - labelRoom(labelChars);
    const auto x = [&](std::int64_t time) {
        return ScoreChart::PlotLeft + static_cast<double>(time - start) * (chart.plotRight - ScoreChart::PlotLeft) /
                                          static_cast<double>(end - start);
    };
    const auto y = [&](std::int64_t score) {
        return ScoreChart::PlotBottom - static_cast<double>(score - axis.low) *
                                            (ScoreChart::PlotBottom - ScoreChart::PlotTop) /
                                            static_cast<double>(axis.high - axis.low);
    };
    const std::int64_t step = timeStep(end - start);
    for (std::int64_t time = ceilDivided(start, step) * step; time <= end; time += step)
        chart.timeTicks.push_back({x(time), time});
    for (std::int64_t score = axis.low; score <= axis.high; score += axis.step)
        chart.scoreTicks.push_back({y(score), score});

    std::vector<double> ends;
    for (const std::size_t player : players) {
        ChartLine line{player, finalScore.at(player), "M" + svgNumber(x(start)) + " " + svgNumber(y(0)), 0};
        // Steps of one block make one rise or fall: the line goes across only where time passed.
        std::string across = svgNumber(x(start));
        const auto goAcross = [&](std::int64_t time) {
            const std::string to = svgNumber(x(time));
            if (to != across)
                line.path += "H" + to;
            across = to;
        };
        for (const ScoreStep& scoreStep : level.scoreSteps) {
            if (scoreStep.player != player)
                continue;
            goAcross(scoreStep.time);
            line.path += "V" + svgNumber(y(scoreStep.score));
        }
        goAcross(end);
        ends.push_back(y(line.score));
        chart.lines.push_back(std::move(line));
    }
    const std::vector<double> labels =
        spreadLabels(ends, ScoreChart::LabelGap, ScoreChart::PlotTop, ScoreChart::PlotBottom);
    for (std::size_t i = 0; i < labels.size(); ++i)
        chart.lines[i].labelY = labels[i];
    return chart;
}

}  // namespace kest
