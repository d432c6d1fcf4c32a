// Ground Zero's obituaries (ClientObituary): the original game's, word for word, and those of the
// mission pack's weapons, spheres and doppleganger, with the item each comes from.
#include "match/game_obituaries.h"

namespace kest::game_obituaries {

ObituaryTable rogue()
{
    OriginalObituaries obituaries = original();
    obituaries.own.push_back(
        {"{victim} got caught in {his/it's} own trap.", "dopple_explode", "Doppleganger"});
    obituaries.kills.insert(obituaries.kills.end(), {
        {"{victim} was shredded by {killer}'s ripsaw", "chainfist", "Chainfist"},
        // The game prints "his" whoever the victim is. The Disruptor's bolts kill by tracker, and
        // no other item stands for this means.
        {"{victim} lost his grip courtesy of {killer}'s disintegrator", "disintegrator", ""},
        {"{victim} was perforated by {killer}", "etf_rifle", "ETF Rifle"},
        {"{victim} was scorched by {killer}'s plasma beam", "heatbeam", "Plasma Beam"},
        {"{victim} was enlightened by {killer}'s tesla mine", "tesla", "Tesla"},
        {"{victim} got too close to {killer}'s proximity mine", "prox", "Prox Launcher"},
        {"{victim} was nuked by {killer}'s antimatter bomb", "nuke", "A-M Bomb"},
        {"{victim} was purged by {killer}'s vengeance sphere", "vengeance_sphere", "vengeance sphere"},
        {"{victim} had a blast with {killer}'s defender sphere", "defender_sphere", "defender sphere"},
        {"{victim} was killed like a dog by {killer}'s hunter sphere", "hunter_sphere", "hunter sphere"},
        {"{victim} was annihilated by {killer}'s disruptor", "tracker", "Disruptor"},
        {"{victim} was blown up by {killer}'s doppleganger", "dopple_explode", "Doppleganger"},
        {"{victim} was purged by {killer}'s doppleganger", "dopple_vengeance", "Doppleganger"},
        {"{victim} was hunted down by {killer}'s doppleganger", "dopple_hunter", "Doppleganger"},
    });
    return obituaries.table();
}

}  // namespace kest::game_obituaries
