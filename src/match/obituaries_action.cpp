// Action Quake 2's obituaries (ClientObituary), as the game prints them today. Its lines end
// without a full stop. A kill prints the victim's name and the words with no space between:
// the words bring their own, but for the four it took over from the original game, whose
// lines read "victimwas blasted by killer". Which text a gun or knife prints depends on where
// the hit landed, and for some weapons on a random pick, so each of them is a row of its own.
// Where one text serves several means of death, the first the game lists stands for them all.
#include <string_view>

#include "match/game_obituaries.h"

namespace kest::game_obituaries {
namespace {

// The weapons' names in the game's item list.
constexpr std::string_view Mk23 = "MK23 Pistol";
constexpr std::string_view Mp5 = "MP5/10 Submachinegun";
constexpr std::string_view M4 = "M4 Assault Rifle";
constexpr std::string_view M3 = "M3 Super 90 Assault Shotgun";
constexpr std::string_view Handcannon = "Handcannon";
constexpr std::string_view Sniper = "Sniper Rifle";
constexpr std::string_view Dual = "Dual MK23 Pistols";
constexpr std::string_view Knife = "Combat Knife";
constexpr std::string_view Grenade = "M26 Fragmentation Grenade";

}  // namespace

ObituaryTable action()
{
    const std::vector<Obituary> obituaries = {
        // The victim's own doing. The game has no grenade launcher, so no item stands for its
        // grenades' splash.
        {"{victim} tried to put the pin back in", "held_grenade", Grenade},
        {"{victim} didn't throw {his} grenade far enough", "hg_splash", Grenade},
        {"{victim} tripped on {his} own grenade", "g_splash", ""},
        {"{victim} killed {himself}", "unknown", ""},  // any other means, the kill command's too
        // Deaths the world dealt. One the victim was pushed into by a player who hit him last
        // is that player's kill: the world's text gives way to the push's.
        {"{victim} ate too much glass", "breakingglass", ""},
        {"{victim} was thrown through a window by {killer}", "breakingglass", ""},
        {"{victim} is done with the world", "suicide", ""},
        {"{victim} plummets to {his} death", "falling", ""},
        {"{victim} was taught how to fly by {killer}", "falling", ""},
        {"{victim} was flattened", "crush", ""},
        {"{victim} sank like a rock", "water", ""},
        {"{victim} melted", "slime", ""},
        {"{victim} melted thanks to {killer}", "slime", ""},
        {"{victim} does a back flip into the lava", "lava", ""},
        {"{victim} was drop-kicked into the lava by {killer}", "lava", ""},
        {"{victim} blew up", "explosive", ""},  // and barrel
        {"{victim} found a way out", "exit", ""},
        {"{victim} saw the light", "target_laser", ""},
        {"{victim} got blasted", "target_blaster", ""},
        {"{victim} was in the wrong place", "bomb", ""},                // and splash, trigger_hurt
        {"{victim} was shoved off the edge by {killer}", "bomb", ""},  // and splash, trigger_hurt
        // Kills by the pistol: head, chest, stomach, legs, anywhere else.
        {"{victim} has a hole in {his} head from {killer}'s Mark 23 pistol", "mk23", Mk23},
        {"{victim} loses a vital chest organ thanks to {killer}'s Mark 23 pistol", "mk23", Mk23},
        {"{victim} loses {his} lunch to {killer}'s .45 caliber pistol round", "mk23", Mk23},
        {"{victim} is legless because of {killer}'s .45 caliber pistol round", "mk23", Mk23},
        {"{victim} was shot by {killer}'s Mark 23 Pistol", "mk23", Mk23},
        // By the submachinegun, hit by hit the same way.
        {"{victim}'s brains are on the wall thanks to {killer}'s 10mm MP5/10 round", "mp5", Mp5},
        {"{victim} feels some chest pain via {killer}'s MP5/10 Submachinegun", "mp5", Mp5},
        {"{victim} needs some Pepto Bismol after {killer}'s 10mm MP5 round", "mp5", Mp5},
        {"{victim} had {his} legs blown off thanks to {killer}'s MP5/10 Submachinegun", "mp5", Mp5},
        {"{victim} was shot by {killer}'s MP5/10 Submachinegun", "mp5", Mp5},
        // By the assault rifle.
        {"{victim} had a makeover by {killer}'s M4 Assault Rifle", "m4", M4},
        {"{victim} feels some heart burn thanks to {killer}'s M4 Assault Rifle", "m4", M4},
        {"{victim} has an upset stomach thanks to {killer}'s M4 Assault Rifle", "m4", M4},
        {"{victim} is now shorter thanks to {killer}'s M4 Assault Rifle", "m4", M4},
        {"{victim} was shot by {killer}'s M4 Assault Rifle", "m4", M4},
        // By the shotgun, one of two at random.
        {"{victim} accepts {killer}'s M3 Super 90 Assault Shotgun in hole-y matrimony", "m3", M3},
        {"{victim} is full of buckshot from {killer}'s M3 Super 90 Assault Shotgun", "m3", M3},
        // By the handcannon, one of three at random; the first two read otherwise for a killer
        // who fires one barrel at a time.
        {"{victim} underestimated {killer}'s single barreled handcannon shot", "hc", Handcannon},
        {"{victim} ate {killer}'s sawed-off 12 gauge", "hc", Handcannon},
        {"{victim} won't be able to pass a metal detector anymore thanks to {killer}'s single barreled "
         "handcannon shot",
         "hc", Handcannon},
        {"{victim} is full of buckshot from {killer}'s sawed off shotgun", "hc", Handcannon},
        {"{victim} was minched by {killer}", "hc", Handcannon},
        // By the sniper rifle: a head shot reads one way for a victim looking through his scope.
        {"{victim} saw the sniper bullet go through {his} scope thanks to {killer}", "sniper", Sniper},
        {"{victim} caught a sniper bullet between the eyes from {killer}", "sniper", Sniper},
        {"{victim} was picked off by {killer}", "sniper", Sniper},
        {"{victim} was sniped in the stomach by {killer}", "sniper", Sniper},
        {"{victim} was shot in the legs by {killer}", "sniper", Sniper},
        {"{victim} was sniped by {killer}", "sniper", Sniper},
        // By the pair of pistols.
        {"{victim} was trepanned by {killer}'s akimbo Mark 23 pistols", "dual", Dual},
        {"{victim} was John Woo'd by {killer}", "dual", Dual},
        {"{victim} needs some new kidneys thanks to {killer}'s akimbo Mark 23 pistols", "dual", Dual},
        {"{victim} was shot in the legs by {killer}'s akimbo Mark 23 pistols", "dual", Dual},
        {"{victim} was shot by {killer}'s pair of Mark 23 Pistols", "dual", Dual},
        // By the knife in the hand, and thrown.
        {"{victim} had {his} throat slit by {killer}", "knife", Knife},
        {"{victim} had open heart surgery, compliments of {killer}", "knife", Knife},
        {"{victim} was gutted by {killer}", "knife", Knife},
        {"{victim} was stabbed repeatedly in the legs by {killer}", "knife", Knife},
        {"{victim} was slashed apart by {killer}'s Combat Knife", "knife", Knife},
        {"{victim} caught {killer}'s flying knife with {his} forehead", "knife_thrown", Knife},
        {"{victim}'s ribs don't help against {killer}'s flying knife", "knife_thrown", Knife},
        {"{victim} sees the contents of {his} own stomach thanks to {killer}'s flying knife", "knife_thrown",
         Knife},
        {"{victim} had {his} legs cut off thanks to {killer}'s flying knife", "knife_thrown", Knife},
        {"{victim} was hit by {killer}'s flying Combat Knife", "knife_thrown", Knife},
        // By a kick and by a punch, each one of three at random.
        {"{victim} got {his} ass kicked by {killer}", "kick", ""},
        {"{victim} couldn't remove {killer}'s boot from {his} ass", "kick", ""},
        {"{victim} had a Bruce Lee put on {him} by {killer}, with a quickness", "kick", ""},
        {"{victim} got a free facelift by {killer}", "punch", ""},
        {"{victim} was knocked out by {killer}", "punch", ""},
        {"{victim} caught {killer}'s iron fist", "punch", ""},
        // The original game's weapons, which the game's item list does not hold.
        {"{victim}was blasted by {killer}", "blaster", ""},
        {"{victim}was popped by {killer}'s grenade", "grenade", ""},
        {"{victim}was shredded by {killer}'s shrapnel", "g_splash", ""},
        {"{victim}was melted by {killer}'s hyperblaster", "hyperblaster", ""},
        // The grenade, the telefrag, the grapple, and a grenade that hits the victim itself.
        {"{victim} caught {killer}'s handgrenade", "handgrenade", Grenade},
        {"{victim} didn't see {killer}'s handgrenade", "hg_splash", Grenade},
        {"{victim} feels {killer}'s pain", "held_grenade", Grenade},
        {"{victim} tried to invade {killer}'s personal space", "telefrag", ""},
        {"{victim} was caught by {killer}'s grapple", "grapple", "Grapple"},
        {"{victim} was deeply impacted by {killer}'s grenade", "grenade_impact", Grenade},
        // Any other death.
        {"{victim} died", "unknown", ""},
    };
    return {obituaries, ""};
}

}  // namespace kest::game_obituaries
