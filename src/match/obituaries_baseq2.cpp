// The original game's obituaries (ClientObituary). Where one text serves several means of
// death, the first the game lists stands for them all, and the weapon only where they share it.
#include "match/game_obituaries.h"

namespace kest::game_obituaries {

OriginalObituaries original()
{
    return {
        // Deaths the world dealt, printed as "victim message."
        {
            {"{victim} suicides.", "suicide", ""},
            {"{victim} cratered.", "falling", ""},
            {"{victim} was squished.", "crush", ""},
            {"{victim} sank like a rock.", "water", ""},
            {"{victim} melted.", "slime", ""},
            {"{victim} does a back flip into the lava.", "lava", ""},
            {"{victim} blew up.", "explosive", ""},  // and barrel
            {"{victim} found a way out.", "exit", ""},
            {"{victim} saw the light.", "target_laser", ""},
            {"{victim} got blasted.", "target_blaster", ""},
            {"{victim} was in the wrong place.", "bomb", ""},  // and splash, trigger_hurt
        },
        // The victim's own doing, printed the same way.
        {
            {"{victim} tried to put the pin back in.", "held_grenade", "Grenades"},
            {"{victim} tripped on {his} own grenade.", "hg_splash", ""},  // and g_splash
            {"{victim} blew {himself} up.", "r_splash", "Rocket Launcher"},
            {"{victim} should have used a smaller gun.", "bfg_blast", "BFG10K"},
        },
        // Kills, printed as "victim message killer message2".
        {
            {"{victim} was blasted by {killer}", "blaster", "Blaster"},
            {"{victim} was gunned down by {killer}", "shotgun", "Shotgun"},
            {"{victim} was blown away by {killer}'s super shotgun", "sshotgun", "Super Shotgun"},
            {"{victim} was machinegunned by {killer}", "machinegun", "Machinegun"},
            {"{victim} was cut in half by {killer}'s chaingun", "chaingun", "Chaingun"},
            {"{victim} was popped by {killer}'s grenade", "grenade", "Grenade Launcher"},
            {"{victim} was shredded by {killer}'s shrapnel", "g_splash", "Grenade Launcher"},
            {"{victim} ate {killer}'s rocket", "rocket", "Rocket Launcher"},
            {"{victim} almost dodged {killer}'s rocket", "r_splash", "Rocket Launcher"},
            {"{victim} was melted by {killer}'s hyperblaster", "hyperblaster", "HyperBlaster"},
            {"{victim} was railed by {killer}", "railgun", "Railgun"},
            {"{victim} saw the pretty lights from {killer}'s BFG", "bfg_laser", "BFG10K"},
            {"{victim} was disintegrated by {killer}'s BFG blast", "bfg_blast", "BFG10K"},
            {"{victim} couldn't hide from {killer}'s BFG", "bfg_effect", "BFG10K"},
            {"{victim} caught {killer}'s handgrenade", "handgrenade", "Grenades"},
            {"{victim} didn't see {killer}'s handgrenade", "hg_splash", "Grenades"},
            {"{victim} feels {killer}'s pain", "held_grenade", "Grenades"},
            {"{victim} tried to invade {killer}'s personal space", "telefrag", ""},
        },
    };
}

ObituaryTable OriginalObituaries::table(std::string_view teamKillMark) const
{
    std::vector<Obituary> obituaries = world;
    obituaries.insert(obituaries.end(), own.begin(), own.end());
    // The switch's default names no means, so none stands for it (the kill command's suicide
    // ends here, as the victim is its own attacker).
    obituaries.push_back({"{victim} killed {himself}.", "unknown", ""});
    obituaries.insert(obituaries.end(), kills.begin(), kills.end());
    // Any other death.
    obituaries.push_back({"{victim} died.", "unknown", ""});
    return {obituaries, teamKillMark};
}

ObituaryTable baseq2() { return original().table(); }

}  // namespace kest::game_obituaries
