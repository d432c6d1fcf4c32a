#include "sample_match/sample_match.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdlib>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <tuple>
#include <utility>

namespace kest::sample_match {
namespace {

using demo_writer::Bytes;
using demo_writer::DemoWriter;
using demo_writer::EntityState;
using demo_writer::MessageWriter;
using demo_writer::PlayerState;
using demo_writer::Position;
using demo_writer::Sound;
using demo_writer::WeaponView;

constexpr std::int32_t Protocol = 34;
constexpr std::uint16_t MultiViewMinorVersion = 2010;
constexpr int FramesPerSecond = 10;
constexpr int MaxClients = 8;
// A multi-view recording's own client: a spectator in the last slot, which no player takes.
constexpr std::uint8_t SpectatorSlot = MaxClients - 1;
// Multicast to the set of what can be seen from a leaf.
constexpr std::uint8_t MulticastVisible = 12;
// A connection block is sent before it would grow past what one packet holds.
constexpr std::size_t MaxConnectionBlock = 1400;
constexpr int IntermissionFrames = 50;

// Config-string indices: single values first, then the tables of 256.
constexpr std::uint16_t ConfigName = 0;
constexpr std::uint16_t ConfigCdTrack = 1;
constexpr std::uint16_t ConfigSky = 2;
constexpr std::uint16_t ConfigStatusBar = 5;
constexpr std::uint16_t ConfigAirAcceleration = 29;
constexpr std::uint16_t ConfigMaxClients = 30;
constexpr std::uint16_t ConfigMapChecksum = 31;
constexpr std::uint16_t ConfigModels = 32;  // model 1, the map itself, is config string 33
constexpr std::uint16_t ConfigSounds = ConfigModels + 256;
constexpr std::uint16_t ConfigImages = ConfigSounds + 256;
constexpr std::uint16_t ConfigLights = ConfigImages + 256;
constexpr std::uint16_t ConfigItems = ConfigLights + 256;
constexpr std::uint16_t ConfigPlayerSkins = ConfigItems + 256;

// Print levels.
constexpr std::uint8_t PrintFrag = 1;
constexpr std::uint8_t PrintHigh = 2;
constexpr std::uint8_t PrintChat = 3;

// Muzzle flashes that are no weapon's.
constexpr std::uint8_t FlashLogin = 9;
constexpr std::uint8_t FlashLogout = 10;

// Temporary-entity types.
constexpr std::uint8_t TempGunshot = 0;
constexpr std::uint8_t TempBlood = 1;
constexpr std::uint8_t TempBlaster = 2;
constexpr std::uint8_t TempRailTrail = 3;
constexpr std::uint8_t TempShotgun = 4;
constexpr std::uint8_t TempSparks = 9;
constexpr std::uint8_t TempSplash = 10;
constexpr std::uint8_t TempBfgLaser = 23;
constexpr std::uint8_t SplashWater = 2;

// Entity events, effects and render effects.
constexpr std::uint8_t EventItemRespawn = 1;
constexpr std::uint8_t EventPlayerTeleport = 6;
constexpr std::uint32_t EffectRotate = 0x1;
constexpr std::uint32_t RenderGlow = 0x200;

// Sound channels, the low three bits of a sound's entity word.
constexpr std::uint16_t ChannelVoice = 2;
constexpr std::uint16_t ChannelItem = 3;
constexpr std::uint8_t AttenuationStatic = 3 * 64;

// Movement types and player statistics.
constexpr std::uint8_t MoveNormal = 0;
constexpr std::uint8_t MoveDead = 2;
constexpr std::uint8_t MoveFreeze = 4;
constexpr std::uint8_t StatHealthIcon = 0;
constexpr std::uint8_t StatHealth = 1;
constexpr std::uint8_t StatAmmoIcon = 2;
constexpr std::uint8_t StatAmmo = 3;
constexpr std::uint8_t StatArmorIcon = 4;
constexpr std::uint8_t StatArmor = 5;
constexpr std::uint8_t StatPickupIcon = 7;
constexpr std::uint8_t StatPickupString = 8;
constexpr std::uint8_t StatLayouts = 13;
constexpr std::uint8_t StatFrags = 14;

constexpr std::uint16_t PlayerSolid = 2 | 3 << 5 | 7 << 10;  // the player's box, packed
constexpr std::uint16_t BrushSolid = 31;
constexpr int BrushModels = 12;
constexpr std::uint16_t FirstProjectileEntity = 320;
constexpr int ProjectileEntities = 48;

// xorshift64*: small, and the same numbers on every platform and compiler.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15u | 1) {}

    std::uint32_t next()
    {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return static_cast<std::uint32_t>((state_ * 0x2545F4914F6CDD1Du) >> 32);
    }
    int below(int count) { return static_cast<int>(next() % static_cast<std::uint32_t>(count)); }
    int between(int low, int high) { return low + below(high - low + 1); }
    bool oneIn(int count) { return below(count) == 0; }
    bool percent(int chance) { return below(100) < chance; }
    template <typename Items>
    const auto& pick(const Items& items)
    {
        return items[static_cast<std::size_t>(below(static_cast<int>(std::size(items))))];
    }

private:
    std::uint64_t state_;
};

struct Obituary {
    std::string_view message;
    std::string_view suffix;  // after the killer's name
};

// An obituary without a killer, for a player of each model.
struct SelfObituary {
    std::string_view male;
    std::string_view female;
};

enum class Shot { Rail, Bullet, Pellets, Projectile };

struct Weapon {
    std::string_view item;  // its name in the item list, shown when picked up
    std::string_view model;  // the view model's folder; the ground model is g_*
    std::string_view worldModel;  // the model other players see in the hand
    std::string_view ammoImage;
    std::uint8_t flash;
    Shot shot;
    int carryWeight;  // how often players pick it up
    int fireChance;  // in 500, to fire in a frame
    int hitPercent;
    int damageLow;
    int damageHigh;
    std::string_view projectileModel;
    std::uint32_t projectileEffects;
    std::optional<std::uint8_t> explosion;  // the projectile's explosion; bolts make a blaster impact
    std::optional<SelfObituary> selfKill;
    std::vector<Obituary> obituaries;
};

const std::vector<Weapon>& weapons()
{
    static const std::vector<Weapon> table = {
        {"Blaster", "v_blast", "#w_blaster.md2", "", 0, Shot::Projectile, 0, 60, 20, 15, 15,
         "models/objects/laser/tris.md2", 0x8, std::nullopt, std::nullopt, {{"was blasted by", ""}}},
        {"Shotgun", "v_shotg", "#w_shotgun.md2", "a_shells", 2, Shot::Pellets, 8, 25, 35, 10, 40, "", 0,
         std::nullopt, std::nullopt, {{"was gunned down by", ""}}},
        {"Super Shotgun", "v_shotg2", "#w_sshotgun.md2", "a_shells", 13, Shot::Pellets, 14, 20, 35, 20, 90, "", 0,
         std::nullopt, std::nullopt, {{"was blown away by", "'s super shotgun"}}},
        {"Machinegun", "v_machn", "#w_machinegun.md2", "a_bullets", 1, Shot::Bullet, 6, 80, 25, 8, 8, "", 0,
         std::nullopt, std::nullopt, {{"was machinegunned by", ""}}},
        {"Chaingun", "v_chain", "#w_chaingun.md2", "a_bullets", 3, Shot::Bullet, 10, 100, 25, 6, 12, "", 0,
         std::nullopt, std::nullopt, {{"was cut in half by", "'s chaingun"}}},
        {"Grenade Launcher", "v_launch", "#w_glauncher.md2", "a_grenades", 8, Shot::Projectile, 10, 20, 25, 40, 120,
         "models/objects/grenade/tris.md2", 0x20, 8, SelfObituary{"tripped on his own grenade.",
                                                                   "tripped on her own grenade."},
         {{"was popped by", "'s grenade"}, {"was shredded by", "'s shrapnel"}}},
        {"Rocket Launcher", "v_rocket", "#w_rlauncher.md2", "a_rockets", 7, Shot::Projectile, 25, 20, 35, 50, 120,
         "models/objects/rocket/tris.md2", 0x10, 7, SelfObituary{"blew himself up.", "blew herself up."},
         {{"ate", "'s rocket"}, {"almost dodged", "'s rocket"}}},
        {"HyperBlaster", "v_hyperb", "#w_hyperblaster.md2", "a_cells", 14, Shot::Projectile, 10, 80, 20, 15, 15,
         "models/objects/laser/tris.md2", 0x40, std::nullopt, std::nullopt,
         {{"was melted by", "'s hyperblaster"}}},
        {"Railgun", "v_rail", "#w_railgun.md2", "a_slugs", 6, Shot::Rail, 15, 16, 45, 100, 100, "", 0, std::nullopt,
         std::nullopt, {{"was railed by", ""}}},
        {"BFG10K", "v_bfg", "#w_bfg.md2", "a_cells", 12, Shot::Projectile, 2, 6, 60, 200, 200, "sprites/s_bfg1.sp2",
         0x80 | 0x800, 21, SelfObituary{"should have used a smaller gun.", "should have used a smaller gun."},
         {{"saw the pretty lights from", "'s BFG"}, {"was disintegrated by", "'s BFG blast"},
          {"couldn't hide from", "'s BFG"}}},
    };
    return table;
}

const Obituary Telefrag = {"tried to invade", "'s personal space"};

const SelfObituary WorldDeaths[] = {
    {"cratered.", "cratered."},
    {"sank like a rock.", "sank like a rock."},
    {"melted.", "melted."},
    {"does a back flip into the lava.", "does a back flip into the lava."},
    {"was squished.", "was squished."},
    {"was in the wrong place.", "was in the wrong place."},
    {"suicides.", "suicides."},
    {"killed himself.", "killed herself."},
};

const std::string_view Greetings[] = {"hi all", "gl hf", "hf", "yo", "hey", "gl all"};
const std::string_view Banter[] = {
    "lag",          "who has the rl?", "ping spike, sorry", "camper",         "brb",
    "back",         "this map rocks",  "mega is up",        "heh",            "my mouse is acting up",
    "quad soon",    "stop camping the rail", "lol",         "argh",           "wow",
    "one more after this?", "how did that hit", "rail is on the bridge again", "anyone else lagging?", "ok ok",
};
const std::string_view VictimReplies[] = {"ns", "lucky", "wtf", "lag!!", "grr", "nice shot", "how", "meh"};
const std::string_view KillerReplies[] = {"sorry", "hehe", ":)", "got you", "boom"};
const std::string_view Farewells[] = {"gg", "gg all", "good game", "gg, thanks", "ggs"};

const std::string_view ItemNames[] = {
    "Body Armor", "Combat Armor", "Jacket Armor", "Armor Shard", "Power Shield", "Blaster", "Shotgun",
    "Super Shotgun", "Machinegun", "Chaingun", "Grenades", "Grenade Launcher", "Rocket Launcher", "HyperBlaster",
    "Railgun", "BFG10K", "Shells", "Bullets", "Cells", "Rockets", "Slugs", "Quad Damage", "Adrenaline",
    "Bandolier", "Ammo Pack", "Health", "Mega Health",
};

const std::string_view LightStyles[] = {
    "m", "mmnmmommommnonmmonqnmmo", "abcdefghijklmnopqrstuvwxyzyxwvutsrqponmlkjihgfedcba",
    "mmmmmaaaaammmmmaaaaaabcdefgabcdefg", "mamamamamama", "jklmnopqrstuvwxyzyxwvutsrqponmlkj", "nmonqnmomnmomomno", "mmmaaaabcdefgmmmmaaaammmaamm",
};

const std::string_view StatusBar =
    "yb -24 xv 0 hnum xv 50 pic 0 if 2 xv 100 anum xv 150 pic 2 endif if 4 xv 200 rnum xv 250 pic 4 endif "
    "yb -50 if 7 xv 0 pic 7 xv 26 yb -42 stat_string 8 yb -50 endif xr -50 yt 2 num 3 14 ";

std::string playerSkinConfig(const Player& player)
{
    return player.name + "\\" + player.skin;
}

// The whole state of an entity; a frame sends what changed since the last one.
struct Entity {
    std::uint8_t model = 0;
    std::uint8_t model2 = 0;
    std::uint16_t frame = 0;
    std::uint32_t skin = 0;
    std::uint32_t effects = 0;
    std::uint32_t renderEffects = 0;
    std::array<std::int16_t, 3> origin{};
    std::array<std::uint8_t, 3> angles{};
    std::array<std::int16_t, 3> oldOrigin{};
    std::uint8_t sound = 0;
    std::uint8_t event = 0;  // sent with the next frame only
    std::uint16_t solid = 0;

    auto tied() const
    {
        return std::tie(model, model2, frame, skin, effects, renderEffects, origin, angles, oldOrigin, sound, event,
                        solid);
    }
    bool operator==(const Entity& other) const { return tied() == other.tied(); }
    bool operator!=(const Entity& other) const { return !(*this == other); }
};

template <typename T>
void setIfChanged(std::optional<T>& field, const T& before, const T& now)
{
    if (now != before)
        field = now;
}

EntityState entityDelta(std::uint16_t number, const Entity& before, const Entity& now)
{
    EntityState delta;
    delta.number = number;
    setIfChanged(delta.model, before.model, now.model);
    setIfChanged(delta.model2, before.model2, now.model2);
    setIfChanged(delta.frame, before.frame, now.frame);
    setIfChanged(delta.skin, before.skin, now.skin);
    setIfChanged(delta.effects, before.effects, now.effects);
    setIfChanged(delta.renderEffects, before.renderEffects, now.renderEffects);
    setIfChanged(delta.originX, before.origin[0], now.origin[0]);
    setIfChanged(delta.originY, before.origin[1], now.origin[1]);
    setIfChanged(delta.originZ, before.origin[2], now.origin[2]);
    setIfChanged(delta.angleX, before.angles[0], now.angles[0]);
    setIfChanged(delta.angleY, before.angles[1], now.angles[1]);
    setIfChanged(delta.angleZ, before.angles[2], now.angles[2]);
    if (now.oldOrigin != before.oldOrigin)
        delta.oldOrigin = Position{now.oldOrigin[0], now.oldOrigin[1], now.oldOrigin[2]};
    setIfChanged(delta.sound, before.sound, now.sound);
    if (now.event != 0)
        delta.event = now.event;
    setIfChanged(delta.solid, before.solid, now.solid);
    return delta;
}

// What the recording player sees; a frame sends what changed since the last one.
struct View {
    std::uint8_t movementType = 0;
    std::array<std::int16_t, 3> origin{};
    std::array<std::int16_t, 3> velocity{};
    std::int16_t gravity = 0;
    std::array<std::uint16_t, 3> deltaAngles{};
    std::array<std::int8_t, 3> viewOffset{};
    std::array<std::uint16_t, 3> viewAngles{};
    std::array<std::int8_t, 3> kickAngles{};
    std::uint8_t weaponIndex = 0;
    std::uint8_t weaponFrame = 0;
    std::array<std::int8_t, 3> gunOffset{};
    std::array<std::int8_t, 3> gunAngles{};
    std::array<std::uint8_t, 4> blend{};
    std::uint8_t fieldOfView = 0;
    std::array<std::int16_t, 32> stats{};
};

Position toPosition(const std::array<std::int16_t, 3>& coordinates)
{
    return {coordinates[0], coordinates[1], coordinates[2]};
}

PlayerState viewDelta(const View& before, const View& now)
{
    PlayerState delta;
    setIfChanged(delta.movementType, before.movementType, now.movementType);
    if (now.origin != before.origin)
        delta.origin = toPosition(now.origin);
    if (now.velocity != before.velocity)
        delta.velocity = toPosition(now.velocity);
    setIfChanged(delta.gravity, before.gravity, now.gravity);
    setIfChanged(delta.deltaAngles, before.deltaAngles, now.deltaAngles);
    setIfChanged(delta.viewOffset, before.viewOffset, now.viewOffset);
    setIfChanged(delta.viewAngles, before.viewAngles, now.viewAngles);
    setIfChanged(delta.kickAngles, before.kickAngles, now.kickAngles);
    setIfChanged(delta.weaponIndex, before.weaponIndex, now.weaponIndex);
    if (std::tie(now.weaponFrame, now.gunOffset, now.gunAngles) !=
        std::tie(before.weaponFrame, before.gunOffset, before.gunAngles))
        delta.weapon = WeaponView{now.weaponFrame, now.gunOffset, now.gunAngles};
    setIfChanged(delta.blend, before.blend, now.blend);
    setIfChanged(delta.fieldOfView, before.fieldOfView, now.fieldOfView);
    for (std::uint8_t stat = 0; stat < 32; ++stat) {
        if (now.stats[stat] != before.stats[stat])
            delta.stats[stat] = now.stats[stat];
    }
    return delta;
}

using Point = std::array<int, 3>;  // in whole units

std::array<std::int16_t, 3> coordinates(const Point& point)
{
    return {static_cast<std::int16_t>(point[0] * 8), static_cast<std::int16_t>(point[1] * 8),
            static_cast<std::int16_t>(point[2] * 8)};
}

Position position(const Point& point)
{
    return toPosition(coordinates(point));
}

int distance(const Point& a, const Point& b)
{
    return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
}

struct Fighter {
    const Player* player = nullptr;
    std::uint16_t entity = 0;  // client slot + 1
    bool female = false;
    bool inGame = false;
    bool alive = false;
    bool left = false;
    int enteredFrame = 0;
    int diedFrame = 0;
    int respawnFrame = 0;
    int firingUntil = 0;
    int health = 0;
    int armor = 0;
    int frags = 0;
    int ping = 0;
    std::size_t weapon = 0;
    int ammo = 0;
    Point at{};
    Point velocity{};
    std::uint16_t yaw = 0;
};

std::string obituaryLine(const Fighter& victim, const Obituary& obituary, const Fighter& killer)
{
    return victim.player->name + " " + std::string(obituary.message) + " " + killer.player->name +
           std::string(obituary.suffix) + "\n";
}

std::string selfObituaryLine(const Fighter& victim, const SelfObituary& obituary)
{
    return victim.player->name + " " + std::string(victim.female ? obituary.female : obituary.male) + "\n";
}

struct Projectile {
    std::uint16_t entity;
    std::size_t owner;
    std::size_t weapon;
    std::optional<std::size_t> target;  // the fighter it hits, if any
    bool killsOwner;
    int damage;
    Point at;
    Point step;  // units per frame
    int arrivalFrame;
};

struct Door {
    std::uint16_t entity;
    int closedZ;
    int openFrame;  // when it last started to open
};

struct PendingChat {
    int frame;
    std::size_t speaker;
    std::string text;
};

std::uint8_t indexIn(const std::vector<std::string>& list, std::string_view name)
{
    const auto found = std::find(list.begin(), list.end(), name);
    assert(found != list.end());
    return static_cast<std::uint8_t>(found - list.begin());
}

class MatchRecorder {
public:
    MatchRecorder(const Match& match, DemoWriter::Format format, DemoSink& sink);
    void record();

private:
    void buildPrecacheLists();
    void buildMap();
    std::map<std::uint16_t, std::string> connectionConfigStrings();
    void writeConnection();

    void playFrame();
    void enter(std::size_t fighter);
    void leave(std::size_t fighter);
    void spawn(std::size_t fighter);
    void move(Fighter& fighter);
    void fire(std::size_t shooter);
    void hit(std::size_t victim, std::size_t attacker, int damage, const Obituary& obituary);
    void kill(std::size_t victim, std::optional<std::size_t> killer, const std::string& line);
    void flyProjectiles();
    void pickUp(std::size_t fighter);
    void operateDoors();
    void chat();
    void say(std::size_t speaker, std::string_view text, int delayLow, int delayHigh);
    std::optional<std::size_t> randomOpponent(std::size_t of);
    std::optional<std::string_view> matchEnd() const;
    void endMatch(std::string_view reason);
    std::string scoreboard(std::size_t viewer) const;

    // What the match sends, as the recording holds it: a player's client gets the prints, config
    // strings and layouts before the frame and the effects after its deltas; a multi-view recording
    // keeps the server's own commands (prints to all, unicasts, multicasts) before the frame.
    void printToAll(std::uint8_t level, std::string_view text);
    void chatLine(std::string_view text);
    void configString(std::uint16_t index, std::string_view text);
    void scoreboards();
    void sound(const Sound& sound);
    void effect(const MessageWriter& command, const Point& at);
    std::vector<std::uint8_t> clientSlots() const;

    void updateView();
    void updateEntities();
    void writeFrame();
    void writeBlock(const MessageWriter& message);
    bool recordingStopped() const;
    std::vector<EntityState> entityDeltas();
    Sound entitySound(std::string_view path, std::uint16_t entity, std::uint16_t channel) const;
    Point randomPoint();
    Point muzzle(const Fighter& fighter) const { return {fighter.at[0], fighter.at[1], fighter.at[2] + 18}; }
    bool isRecorder(std::size_t fighter) const { return fighter == 0; }

    const Match& match_;
    const bool multiView_;
    Random random_;
    std::vector<std::string> models_;  // by model index; 0 is no model
    std::vector<std::string> sounds_;
    std::vector<std::string> images_;
    std::vector<Point> spawnPoints_;
    std::vector<std::uint16_t> items_;
    std::vector<Door> doors_;

    std::vector<Fighter> fighters_;
    std::vector<Projectile> projectiles_;
    std::vector<PendingChat> chats_;
    std::map<std::uint16_t, Entity> baselines_;
    std::map<std::uint16_t, Entity> world_;
    std::map<std::uint16_t, Entity> sentWorld_;
    View view_;
    View sentView_;
    int pickupShownUntil_ = 0;

    DemoWriter writer_;
    DemoSink& sink_;
    std::uint64_t recordedBytes_ = 0;
    // A server sends its reliable commands (prints, config strings, layouts) ahead of the
    // frame, and to a player the effects of the frame (sounds, temporary entities, muzzle
    // flashes) after the player and entity deltas that follow it.
    MessageWriter beforeFrame_;
    MessageWriter afterFrame_;
    int frame_ = 0;  // frames since the game started
    std::int32_t serverFrame_;
    bool firstFrame_ = true;
    bool intermission_ = false;
    std::uint16_t nextProjectile_ = FirstProjectileEntity;
};

MatchRecorder::MatchRecorder(const Match& match, DemoWriter::Format format, DemoSink& sink)
    : match_(match), multiView_(format == DemoWriter::Format::MultiView), random_(match.seed), writer_(format),
      sink_(sink), serverFrame_(100 + random_.below(400))
{
    assert(!match.players.empty() && match.players.size() <= (multiView_ ? SpectatorSlot : MaxClients));
    assert(match.players.front().leaveSecond == 0);  // the recording player stays to the end
    for (const Player& player : match.players) {
        Fighter fighter;
        fighter.player = &player;
        fighter.entity = static_cast<std::uint16_t>(fighters_.size() + 1);
        fighter.female = player.skin.rfind("female/", 0) == 0;
        fighter.ping = random_.between(25, 110);
        fighters_.push_back(fighter);
    }
    buildPrecacheLists();
    buildMap();
}

void MatchRecorder::buildPrecacheLists()
{
    models_ = {"", "maps/" + match_.mapName + ".bsp"};
    for (int brush = 1; brush <= BrushModels; ++brush)
        models_.push_back("*" + std::to_string(brush));
    for (const char* item : {"armor/body", "armor/combat", "healing/medium", "healing/large", "mega_h",
                             "ammo/rockets/medium", "ammo/slugs/medium", "ammo/cells/medium", "quaddama"})
        models_.push_back("models/items/" + std::string(item) + "/tris.md2");
    for (const Weapon& weapon : weapons()) {
        std::string ground(weapon.model);
        ground[0] = 'g';
        models_.push_back("models/weapons/" + ground + "/tris.md2");
        models_.push_back("models/weapons/" + std::string(weapon.model) + "/tris.md2");
        models_.emplace_back(weapon.worldModel);
        if (!weapon.projectileModel.empty() &&
            std::find(models_.begin(), models_.end(), weapon.projectileModel) == models_.end())
            models_.emplace_back(weapon.projectileModel);
    }

    sounds_ = {"",
               "misc/w_pkup.wav",
               "items/pkup.wav",
               "items/n_health.wav",
               "misc/ar1_pkup.wav",
               "items/respawn1.wav",
               "*pain100_1.wav",
               "*death1.wav",
               "*jump1.wav",
               "player/watr_in.wav",
               "doors/dr1_strt.wav",
               "doors/dr1_end.wav",
               "world/amb10.wav",
               "world/water1.wav",
               "weapons/rockfly.wav"};

    images_ = {"", "i_health", "i_bodyarmor", "i_jacketarmor", "inventory", "help", "tag1"};
    for (const Weapon& weapon : weapons()) {
        if (!weapon.ammoImage.empty() &&
            std::find(images_.begin(), images_.end(), weapon.ammoImage) == images_.end())
            images_.emplace_back(weapon.ammoImage);
        images_.push_back("w_" + std::string(weapon.model.substr(2)));
    }
}

Point MatchRecorder::randomPoint()
{
    static const int Floors[] = {24, 88, 152, 216};
    return {random_.between(-900, 900), random_.between(-900, 900), random_.pick(Floors)};
}

// The map's entities: doors and platforms, ambient sounds and items, numbered
// after the client slots with gaps, as a level's spawn order leaves them.
void MatchRecorder::buildMap()
{
    for (int spawnPoint = 0; spawnPoint < 8; ++spawnPoint)
        spawnPoints_.push_back(randomPoint());

    std::uint16_t number = MaxClients + 1;
    for (int brush = 1; brush <= BrushModels; ++brush, ++number) {
        Entity entity;
        entity.model = static_cast<std::uint8_t>(brush + 1);
        entity.solid = BrushSolid;
        if (brush <= 4) {
            const Point closed = randomPoint();
            entity.origin = coordinates(closed);
            doors_.push_back({number, closed[2], -1000});
        }
        baselines_[number] = entity;
    }
    for (const char* ambient : {"world/amb10.wav", "world/water1.wav", "world/amb10.wav"}) {
        Entity speaker;
        speaker.sound = indexIn(sounds_, ambient);
        speaker.origin = coordinates(randomPoint());
        baselines_[number++] = speaker;
    }
    std::vector<std::uint8_t> itemModels;
    for (std::uint8_t model = 1; model < models_.size(); ++model) {
        if (models_[model].rfind("models/items/", 0) == 0 || models_[model].rfind("models/weapons/g_", 0) == 0)
            itemModels.push_back(model);
    }
    while (items_.size() < 40) {
        number = static_cast<std::uint16_t>(number + random_.between(3, 10));
        Entity item;
        item.model = random_.pick(itemModels);
        item.effects = EffectRotate;
        item.renderEffects = RenderGlow;
        item.origin = coordinates(randomPoint());
        item.angles[1] = static_cast<std::uint8_t>(random_.below(256));
        baselines_[number] = item;
        items_.push_back(number);
    }
    world_ = baselines_;
}

void MatchRecorder::record()
{
    writeConnection();
    for (;;) {
        if (recordingStopped()) {
            sink_.write(writer_.endMarker().take());
            return;
        }
        const auto end = matchEnd();
        if (end) {
            endMatch(*end);
            break;
        }
        playFrame();
        writeFrame();
    }
    for (int frame = 0; frame < IntermissionFrames && !recordingStopped(); ++frame) {
        ++frame_;
        chat();
        writeFrame();
    }
    // A player's client follows the server to the next level; the server's own recording of this one ends.
    if (!multiView_ && !recordingStopped())
        writeBlock(MessageWriter().stuffText("changing\n").reconnect());
    sink_.write(writer_.endMarker().take());
}

bool MatchRecorder::recordingStopped() const
{
    return match_.recordingBytes > 0 && recordedBytes_ >= match_.recordingBytes;
}

// The config strings a client gets when it connects, in index order.
std::map<std::uint16_t, std::string> MatchRecorder::connectionConfigStrings()
{
    std::map<std::uint16_t, std::string> configs;
    configs[ConfigName] = match_.levelName;
    configs[ConfigCdTrack] = std::to_string(random_.between(2, 11));
    configs[ConfigSky] = "unit1_";
    configs[ConfigStatusBar] = StatusBar;
    configs[ConfigAirAcceleration] = "0";
    configs[ConfigMaxClients] = std::to_string(MaxClients);
    configs[ConfigMapChecksum] = std::to_string(static_cast<std::int32_t>(random_.next()));
    for (std::size_t model = 1; model < models_.size(); ++model)
        configs[static_cast<std::uint16_t>(ConfigModels + model)] = models_[model];
    for (std::size_t sound = 1; sound < sounds_.size(); ++sound)
        configs[static_cast<std::uint16_t>(ConfigSounds + sound)] = sounds_[sound];
    for (std::size_t image = 1; image < images_.size(); ++image)
        configs[static_cast<std::uint16_t>(ConfigImages + image)] = images_[image];
    for (std::size_t style = 0; style < std::size(LightStyles); ++style)
        configs[static_cast<std::uint16_t>(ConfigLights + style)] = LightStyles[style];
    for (std::size_t item = 0; item < std::size(ItemNames); ++item)
        configs[static_cast<std::uint16_t>(ConfigItems + 1 + item)] = ItemNames[item];
    return configs;
}

// A player's client gets the server data, every config string and baseline, then
// "precache", in as many blocks as they need; a multi-view recording starts with one
// block of server data holding the config strings, its own client a spectator.
void MatchRecorder::writeConnection()
{
    const std::int32_t serverCount = 0x10000 + random_.between(1, 50);
    if (multiView_) {
        demo_writer::MultiViewServerData serverData;
        serverData.minorVersion = MultiViewMinorVersion;
        serverData.serverCount = serverCount;
        serverData.ownClient = SpectatorSlot;
        serverData.configStrings = connectionConfigStrings();
        writeBlock(MessageWriter().multiViewServerData(serverData));
        return;
    }
    MessageWriter block;
    block.serverData(Protocol, serverCount, 1, "", 0, match_.levelName);
    const auto add = [&](const MessageWriter& command) {
        if (block.size() + command.size() > MaxConnectionBlock) {
            writeBlock(block);
            block = MessageWriter();
        }
        block.raw(command.bytes());
    };
    for (const auto& [index, text] : connectionConfigStrings())
        add(MessageWriter().configString(index, text));
    for (const auto& [number, entity] : baselines_)
        add(MessageWriter().spawnBaseline(entityDelta(number, Entity{}, entity)));
    add(MessageWriter().stuffText("precache\n"));
    writeBlock(block);
}

std::optional<std::string_view> MatchRecorder::matchEnd() const
{
    if (match_.timeLimitMinutes > 0 && frame_ >= match_.timeLimitMinutes * 60 * FramesPerSecond)
        return "Timelimit hit.\n";
    const bool fragLimitHit = match_.fragLimit > 0 && std::any_of(fighters_.begin(), fighters_.end(),
                                                                  [&](const Fighter& fighter) {
                                                                      return fighter.frags >= match_.fragLimit;
                                                                  });
    if (fragLimitHit)
        return "Fraglimit hit.\n";
    return std::nullopt;
}

void MatchRecorder::playFrame()
{
    ++frame_;
    for (std::size_t fighter = 0; fighter < fighters_.size(); ++fighter) {
        const Player& player = *fighters_[fighter].player;
        if (!fighters_[fighter].inGame && !fighters_[fighter].left && frame_ >= player.joinSecond * FramesPerSecond + 1)
            enter(fighter);
        else if (fighters_[fighter].inGame && player.leaveSecond > 0 && frame_ >= player.leaveSecond * FramesPerSecond)
            leave(fighter);
    }
    for (std::size_t fighter = 0; fighter < fighters_.size(); ++fighter) {
        Fighter& self = fighters_[fighter];
        if (!self.inGame)
            continue;
        if (!self.alive) {
            if (frame_ >= self.respawnFrame)
                spawn(fighter);
            continue;
        }
        move(self);
        if (random_.below(500) < weapons()[self.weapon].fireChance)
            fire(fighter);
        if (self.alive && random_.oneIn(self.weapon == 0 ? 25 : 120))
            pickUp(fighter);
        if (self.alive && random_.oneIn(9000))
            kill(fighter, std::nullopt, selfObituaryLine(self, random_.pick(WorldDeaths)));
    }
    flyProjectiles();
    operateDoors();
    if (random_.oneIn(60)) {
        Entity& item = world_[random_.pick(items_)];
        item.event = EventItemRespawn;
    }
    chat();
    updateView();
    updateEntities();
}

void MatchRecorder::enter(std::size_t index)
{
    Fighter& fighter = fighters_[index];
    fighter.inGame = true;
    fighter.enteredFrame = frame_;
    configString(static_cast<std::uint16_t>(ConfigPlayerSkins + index), playerSkinConfig(*fighter.player));
    spawn(index);
    effect(MessageWriter().muzzleFlash(fighter.entity, FlashLogin), fighter.at);
    printToAll(PrintHigh, fighter.player->name + " entered the game\n");
    if (random_.percent(60))
        say(index, random_.pick(Greetings), 20, 80);
}

void MatchRecorder::leave(std::size_t index)
{
    Fighter& fighter = fighters_[index];
    fighter.inGame = false;
    fighter.alive = false;
    fighter.left = true;
    effect(MessageWriter().muzzleFlash(fighter.entity, FlashLogout), fighter.at);
    printToAll(PrintHigh, fighter.player->name + " disconnected\n");
    configString(static_cast<std::uint16_t>(ConfigPlayerSkins + index), "");
    world_.erase(fighter.entity);
}

void MatchRecorder::spawn(std::size_t index)
{
    Fighter& fighter = fighters_[index];
    fighter.alive = true;
    fighter.health = 100;
    fighter.armor = 0;
    fighter.weapon = 0;
    fighter.ammo = 0;
    fighter.velocity = {0, 0, 0};
    fighter.at = random_.pick(spawnPoints_);
    fighter.yaw = static_cast<std::uint16_t>(random_.below(65536));
    world_[fighter.entity].event = EventPlayerTeleport;
    if (isRecorder(index))
        view_.deltaAngles = {0, fighter.yaw, 0};

    // Whoever stands on a respawn point is telefragged.
    if (frame_ > fighter.enteredFrame && random_.oneIn(60)) {
        if (const auto victim = randomOpponent(index))
            kill(*victim, index, obituaryLine(fighters_[*victim], Telefrag, fighter));
    }
}

void MatchRecorder::move(Fighter& fighter)
{
    for (int axis = 0; axis < 2; ++axis) {
        fighter.velocity[axis] = std::clamp(fighter.velocity[axis] + random_.between(-60, 60), -320, 320);
        fighter.at[axis] += fighter.velocity[axis] / FramesPerSecond;
        if (std::abs(fighter.at[axis]) > 1000)
            fighter.velocity[axis] = -fighter.velocity[axis];
        fighter.at[axis] = std::clamp(fighter.at[axis], -1000, 1000);
    }
    fighter.yaw = static_cast<std::uint16_t>(fighter.yaw + random_.between(-1500, 1500));
    if (random_.oneIn(50)) {
        fighter.at[2] = randomPoint()[2];
        sound(entitySound("*jump1.wav", fighter.entity, ChannelVoice));
    }
    if (random_.oneIn(900)) {
        effect(MessageWriter().splashTempEntity(TempSplash, 8, position(fighter.at),
                                                static_cast<std::uint8_t>(random_.below(162)), SplashWater),
               fighter.at);
        sound(entitySound("player/watr_in.wav", fighter.entity, ChannelItem));
    }
}

std::optional<std::size_t> MatchRecorder::randomOpponent(std::size_t of)
{
    std::vector<std::size_t> opponents;
    for (std::size_t other = 0; other < fighters_.size(); ++other) {
        if (other != of && fighters_[other].alive)
            opponents.push_back(other);
    }
    if (opponents.empty())
        return std::nullopt;
    return random_.pick(opponents);
}

void MatchRecorder::fire(std::size_t shooter)
{
    Fighter& self = fighters_[shooter];
    const Weapon& weapon = weapons()[self.weapon];
    const std::optional<std::size_t> target = randomOpponent(shooter);
    const bool hits = target && random_.percent(weapon.hitPercent);
    const Point end = hits ? fighters_[*target].at : randomPoint();
    const int damage = random_.between(weapon.damageLow, weapon.damageHigh);
    const auto direction = static_cast<std::uint8_t>(random_.below(162));
    const Obituary& obituary =
        random_.pick(weapon.obituaries);

    effect(MessageWriter().muzzleFlash(self.entity, weapon.flash), self.at);
    self.firingUntil = frame_ + 5;
    if (self.ammo > 0)
        --self.ammo;
    switch (weapon.shot) {
    case Shot::Rail:
        effect(MessageWriter().trailTempEntity(TempRailTrail, position(muzzle(self)), position(end)), self.at);
        break;
    case Shot::Bullet:
        effect(MessageWriter().impactTempEntity(hits ? TempBlood : random_.oneIn(4) ? TempSparks : TempGunshot,
                                                position(end), direction),
               end);
        break;
    case Shot::Pellets:
        effect(MessageWriter().impactTempEntity(hits ? TempBlood : TempShotgun, position(end), direction), end);
        break;
    case Shot::Projectile: {
        const int frames = std::max(1, distance(self.at, end) / 120);
        const Point start = muzzle(self);
        const Point step = {(end[0] - start[0]) / frames, (end[1] - start[1]) / frames, (end[2] - start[2]) / frames};
        const bool killsOwner = weapon.selfKill && random_.oneIn(80);
        projectiles_.push_back({nextProjectile_, shooter, self.weapon, hits ? target : std::nullopt, killsOwner,
                                damage, start, step, frame_ + frames});
        Entity& entity = world_[nextProjectile_];
        entity.model = indexIn(models_, weapon.projectileModel);
        entity.effects = weapon.projectileEffects;
        entity.origin = coordinates(start);
        entity.oldOrigin = entity.origin;
        entity.angles = {0, static_cast<std::uint8_t>(self.yaw >> 8), 0};
        if (weapon.explosion == 7)
            entity.sound = indexIn(sounds_, "weapons/rockfly.wav");
        nextProjectile_ = static_cast<std::uint16_t>(
            FirstProjectileEntity + (nextProjectile_ + 1 - FirstProjectileEntity) % ProjectileEntities);
        return;
    }
    }
    if (hits)
        hit(*target, shooter, damage, obituary);
}

void MatchRecorder::flyProjectiles()
{
    std::vector<Projectile> flying;
    for (Projectile& projectile : projectiles_) {
        for (int axis = 0; axis < 3; ++axis)
            projectile.at[axis] += projectile.step[axis];
        const Weapon& weapon = weapons()[projectile.weapon];
        if (frame_ < projectile.arrivalFrame) {
            world_[projectile.entity].origin = coordinates(projectile.at);
            if (weapon.explosion == 21 && random_.oneIn(3)) {
                if (const auto near = randomOpponent(projectile.owner))
                    effect(MessageWriter().trailTempEntity(TempBfgLaser, position(projectile.at),
                                                           position(fighters_[*near].at)),
                           projectile.at);
            }
            flying.push_back(projectile);
            continue;
        }
        world_.erase(projectile.entity);
        if (weapon.explosion)
            effect(MessageWriter().pointTempEntity(*weapon.explosion, position(projectile.at)), projectile.at);
        else
            effect(MessageWriter().impactTempEntity(TempBlaster, position(projectile.at),
                                                    static_cast<std::uint8_t>(random_.below(162))),
                   projectile.at);
        const Fighter& owner = fighters_[projectile.owner];
        if (projectile.killsOwner && owner.alive)
            kill(projectile.owner, std::nullopt, selfObituaryLine(owner, *weapon.selfKill));
        else if (projectile.target && fighters_[*projectile.target].alive)
            hit(*projectile.target, projectile.owner, projectile.damage,
                random_.pick(weapon.obituaries));
    }
    projectiles_ = std::move(flying);
}

void MatchRecorder::hit(std::size_t victim, std::size_t attacker, int damage, const Obituary& obituary)
{
    Fighter& target = fighters_[victim];
    const int absorbed = std::min(target.armor, damage / 3);
    target.armor -= absorbed;
    target.health -= damage - absorbed;
    if (isRecorder(victim)) {
        view_.blend = {255, 0, 0, 90};
        view_.kickAngles = {static_cast<std::int8_t>(random_.between(-6, 6)), 0,
                            static_cast<std::int8_t>(random_.between(-6, 6))};
    }
    if (target.health > 0) {
        sound(entitySound("*pain100_1.wav", target.entity, ChannelVoice));
        return;
    }
    kill(victim, attacker, obituaryLine(target, obituary, fighters_[attacker]));
}

void MatchRecorder::kill(std::size_t victim, std::optional<std::size_t> killer, const std::string& line)
{
    Fighter& dead = fighters_[victim];
    dead.alive = false;
    dead.health = std::min(dead.health, 0);
    dead.diedFrame = frame_;
    dead.respawnFrame = frame_ + random_.between(12, 40);
    sound(entitySound("*death1.wav", dead.entity, ChannelVoice));
    printToAll(PrintFrag, line);
    if (killer) {
        ++fighters_[*killer].frags;
        if (random_.oneIn(9))
            say(victim, random_.pick(VictimReplies), 10, 40);
        else if (random_.oneIn(25))
            say(*killer, random_.pick(KillerReplies), 10, 40);
    } else {
        --dead.frags;
    }
}

void MatchRecorder::pickUp(std::size_t index)
{
    Fighter& fighter = fighters_[index];
    std::string_view item;
    std::string icon = "i_health";
    if (fighter.weapon == 0) {
        int totalWeight = 0;
        for (const Weapon& weapon : weapons())
            totalWeight += weapon.carryWeight;
        int roll = random_.below(totalWeight);
        std::size_t weapon = 1;
        while (roll >= weapons()[weapon].carryWeight) {
            roll -= weapons()[weapon].carryWeight;
            ++weapon;
        }
        fighter.weapon = weapon;
        fighter.ammo = random_.between(10, 50);
        item = weapons()[weapon].item;
        icon = "w_" + std::string(weapons()[weapon].model.substr(2));
        sound(entitySound("misc/w_pkup.wav", fighter.entity, ChannelItem));
    } else if (random_.percent(50)) {
        fighter.health = std::min(fighter.health + 25, 100);
        item = "Health";
        sound(entitySound("items/n_health.wav", fighter.entity, ChannelItem));
    } else {
        fighter.armor = std::min(fighter.armor + 50, 200);
        item = "Jacket Armor";
        icon = "i_jacketarmor";
        sound(entitySound("misc/ar1_pkup.wav", fighter.entity, ChannelItem));
    }
    if (isRecorder(index)) {
        const auto itemIndex = std::find(std::begin(ItemNames), std::end(ItemNames), item) - std::begin(ItemNames);
        view_.stats[StatPickupString] = static_cast<std::int16_t>(ConfigItems + 1 + itemIndex);
        view_.stats[StatPickupIcon] = indexIn(images_, icon);
        pickupShownUntil_ = frame_ + 30;
    }
}

// Doors open now and then, and close again a few seconds later.
void MatchRecorder::operateDoors()
{
    constexpr int Travel = 4;   // frames to open or close
    constexpr int Wait = 30;    // frames it stays open
    for (Door& door : doors_) {
        if (frame_ - door.openFrame > 2 * Travel + Wait && random_.oneIn(250))
            door.openFrame = frame_;
        const int phase = frame_ - door.openFrame;
        const int lift =
            phase < Travel ? phase : phase < Travel + Wait ? Travel : std::max(0, 2 * Travel + Wait - phase);
        Entity& entity = world_[door.entity];
        entity.origin[2] = static_cast<std::int16_t>((door.closedZ + lift * 16) * 8);
        const bool starts = phase == 0 || phase == Travel + Wait;
        const bool stops = phase == Travel || phase == 2 * Travel + Wait;
        if (starts || stops) {
            Sound doorSound =
                entitySound(starts ? "doors/dr1_strt.wav" : "doors/dr1_end.wav", door.entity, ChannelVoice);
            doorSound.attenuation = AttenuationStatic;
            doorSound.position = Position{entity.origin[0], entity.origin[1], entity.origin[2]};
            if (stops)
                doorSound.timeOffset = static_cast<std::uint8_t>(random_.between(10, 90));
            sound(doorSound);
        }
    }
}

void MatchRecorder::say(std::size_t speaker, std::string_view text, int delayLow, int delayHigh)
{
    chats_.push_back({frame_ + random_.between(delayLow, delayHigh), speaker, std::string(text)});
}

void MatchRecorder::chat()
{
    if (!intermission_ && random_.oneIn(450)) {
        std::vector<std::size_t> present;
        for (std::size_t fighter = 0; fighter < fighters_.size(); ++fighter) {
            if (fighters_[fighter].inGame)
                present.push_back(fighter);
        }
        // Nobody chats to an empty server.
        if (present.size() >= 2) {
            const std::size_t speaker = random_.pick(present);
            say(speaker, random_.pick(Banter), 0, 0);
        }
    }
    std::vector<PendingChat> later;
    for (PendingChat& line : chats_) {
        if (line.frame > frame_)
            later.push_back(std::move(line));
        else if (fighters_[line.speaker].inGame)
            chatLine(fighters_[line.speaker].player->name + ": " + line.text + "\n");
    }
    chats_ = std::move(later);
}

void MatchRecorder::endMatch(std::string_view reason)
{
    ++frame_;
    intermission_ = true;
    printToAll(PrintHigh, reason);
    scoreboards();
    for (std::size_t fighter = 0; fighter < fighters_.size(); ++fighter) {
        if (fighters_[fighter].inGame && random_.percent(75))
            say(fighter, random_.pick(Farewells), 5, 45);
    }
    for (const Projectile& projectile : projectiles_)
        world_.erase(projectile.entity);
    projectiles_.clear();
    view_.movementType = MoveFreeze;
    view_.stats[StatLayouts] = 1;
    view_.velocity = {0, 0, 0};
    writeFrame();
}

// The intermission's scoreboard layout as a client sees it: a client line per player, best
// first, the viewer's own tagged.
std::string MatchRecorder::scoreboard(std::size_t viewer) const
{
    std::vector<std::size_t> order;
    for (std::size_t fighter = 0; fighter < fighters_.size(); ++fighter) {
        if (fighters_[fighter].inGame)
            order.push_back(fighter);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return fighters_[a].frags > fighters_[b].frags; });
    std::string layout;
    for (std::size_t rank = 0; rank < order.size(); ++rank) {
        const Fighter& fighter = fighters_[order[rank]];
        const std::string x = std::to_string(rank >= 6 ? 160 : 0);
        const std::string y = std::to_string(32 + 32 * static_cast<int>(rank % 6));
        if (order[rank] == viewer)
            layout += "xv " + x + " yv " + y + " picn tag1 ";
        layout += "client " + x + " " + y + " " + std::to_string(order[rank]) + " " + std::to_string(fighter.frags) +
                  " " + std::to_string(fighter.ping) + " " +
                  std::to_string((frame_ - fighter.enteredFrame) / (60 * FramesPerSecond)) + " ";
    }
    return layout;
}

void MatchRecorder::printToAll(std::uint8_t level, std::string_view text)
{
    if (multiView_)
        beforeFrame_.multiViewPrint(level, text);
    else
        beforeFrame_.print(level, text);
}

// A server prints a chat line to each client in turn: in a multi-view recording, a unicast to
// every player and one to the recording's own client.
void MatchRecorder::chatLine(std::string_view text)
{
    if (!multiView_) {
        beforeFrame_.print(PrintChat, text);
        return;
    }
    const MessageWriter line = MessageWriter().print(PrintChat, text);
    for (const std::uint8_t slot : clientSlots())
        beforeFrame_.unicast(slot, line, true);
}

void MatchRecorder::configString(std::uint16_t index, std::string_view text)
{
    if (multiView_)
        beforeFrame_.multiViewConfigString(index, text);
    else
        beforeFrame_.configString(index, text);
}

// Each client gets the scoreboard with its own line tagged; the recording player's is the one it keeps.
void MatchRecorder::scoreboards()
{
    if (!multiView_) {
        beforeFrame_.layout(scoreboard(0));
        return;
    }
    for (const std::uint8_t slot : clientSlots())
        beforeFrame_.unicast(slot, MessageWriter().layout(scoreboard(slot)), true);
}

void MatchRecorder::sound(const Sound& sound)
{
    if (multiView_)
        beforeFrame_.multiViewSound(sound);
    else
        afterFrame_.sound(sound);
}

// A temporary entity or muzzle flash goes to whoever can see the point where it happens: in a multi-view
// recording, a multicast to the set visible from that point's leaf, the map's square cut into 16 by 16.
void MatchRecorder::effect(const MessageWriter& command, const Point& at)
{
    if (!multiView_) {
        afterFrame_.raw(command.bytes());
        return;
    }
    const auto cell = [](int coordinate) { return std::clamp((coordinate + 1000) / 125, 0, 15); };
    beforeFrame_.multicast(MulticastVisible, static_cast<std::uint16_t>(1 + cell(at[0]) + 16 * cell(at[1])), command);
}

// The slots of the players in the game, and the multi-view recording's own spectator.
std::vector<std::uint8_t> MatchRecorder::clientSlots() const
{
    std::vector<std::uint8_t> slots;
    for (std::size_t fighter = 0; fighter < fighters_.size(); ++fighter) {
        if (fighters_[fighter].inGame)
            slots.push_back(static_cast<std::uint8_t>(fighter));
    }
    slots.push_back(SpectatorSlot);
    return slots;
}

Sound MatchRecorder::entitySound(std::string_view path, std::uint16_t entity, std::uint16_t channel) const
{
    Sound sound;
    sound.index = indexIn(sounds_, path);
    sound.entityWord = static_cast<std::uint16_t>(entity * 8 + channel);
    return sound;
}

void MatchRecorder::updateView()
{
    const Fighter& self = fighters_[0];
    const Weapon& weapon = weapons()[self.weapon];
    view_.movementType = self.alive ? MoveNormal : MoveDead;
    view_.origin = coordinates(self.at);
    view_.velocity = self.alive ? coordinates(self.velocity) : std::array<std::int16_t, 3>{};
    view_.gravity = 800;
    view_.viewOffset = {0, 0, static_cast<std::int8_t>(self.alive ? 22 * 4 : -8 * 4)};
    view_.viewAngles = {static_cast<std::uint16_t>(random_.between(-400, 400)), self.yaw, 0};
    view_.weaponIndex = self.alive ? indexIn(models_, "models/weapons/" + std::string(weapon.model) + "/tris.md2") : 0;
    view_.weaponFrame = static_cast<std::uint8_t>(frame_ < self.firingUntil ? 5 + (frame_ % 4) : 29);
    view_.gunOffset = {0, 0, static_cast<std::int8_t>(self.velocity[0] / 100)};
    view_.fieldOfView = 90;
    if (view_.blend[3] > 0)
        view_.blend[3] = static_cast<std::uint8_t>(std::max(0, view_.blend[3] - 30));
    else
        view_.kickAngles = {};

    view_.stats[StatHealthIcon] = indexIn(images_, "i_health");
    view_.stats[StatHealth] = static_cast<std::int16_t>(self.health);
    view_.stats[StatAmmoIcon] = weapon.ammoImage.empty() ? 0 : indexIn(images_, weapon.ammoImage);
    view_.stats[StatAmmo] = static_cast<std::int16_t>(weapon.ammoImage.empty() ? 0 : self.ammo);
    view_.stats[StatArmorIcon] = self.armor > 0 ? indexIn(images_, "i_jacketarmor") : 0;
    view_.stats[StatArmor] = static_cast<std::int16_t>(self.armor);
    view_.stats[StatFrags] = static_cast<std::int16_t>(self.frags);
    if (frame_ >= pickupShownUntil_) {
        view_.stats[StatPickupIcon] = 0;
        view_.stats[StatPickupString] = 0;
    }
}

void MatchRecorder::updateEntities()
{
    for (const Fighter& fighter : fighters_) {
        if (!fighter.inGame)
            continue;
        Entity& entity = world_[fighter.entity];
        entity.model = 255;  // the player's own model, named by the skin
        entity.model2 = 255;  // the weapon in hand, its model picked by the skin's high byte
        entity.skin = (fighter.entity - 1u) | (1u + static_cast<std::uint32_t>(fighter.weapon)) << 8;
        entity.origin = coordinates(fighter.at);
        entity.angles = {0, static_cast<std::uint8_t>(fighter.yaw >> 8), 0};
        entity.solid = fighter.alive ? PlayerSolid : 0;
        if (!fighter.alive)
            entity.frame = static_cast<std::uint16_t>(std::min(183, 178 + frame_ - fighter.diedFrame));
        else if (frame_ < fighter.firingUntil)
            entity.frame = static_cast<std::uint16_t>(46 + (fighter.firingUntil - frame_));
        else
            entity.frame = static_cast<std::uint16_t>(40 + frame_ % 6);
    }
}

std::vector<EntityState> MatchRecorder::entityDeltas()
{
    std::set<std::uint16_t> numbers;
    for (const auto& [number, entity] : world_)
        numbers.insert(number);
    for (const auto& [number, entity] : sentWorld_)
        numbers.insert(number);

    std::vector<EntityState> deltas;
    for (const std::uint16_t number : numbers) {
        const auto now = world_.find(number);
        const auto before = sentWorld_.find(number);
        if (now == world_.end()) {
            EntityState removed;
            removed.number = number;
            removed.remove = true;
            deltas.push_back(removed);
        } else if (before == sentWorld_.end()) {
            const auto baseline = baselines_.find(number);
            deltas.push_back(entityDelta(number, baseline == baselines_.end() ? Entity{} : baseline->second,
                                         now->second));
        } else if (now->second != before->second) {
            deltas.push_back(entityDelta(number, before->second, now->second));
        }
    }
    for (auto& [number, entity] : world_)
        entity.event = 0;
    sentWorld_ = world_;
    return deltas;
}

void MatchRecorder::writeFrame()
{
    static const Bytes AreaBits = {0xFF, 0x3F};
    MessageWriter message = std::exchange(beforeFrame_, MessageWriter());
    // The server's recording has no deltas; the view and the entities were played along all
    // the same, as they draw on the match's random numbers: both recordings hold the same match.
    if (multiView_) {
        message.multiViewFrame();
        writeBlock(message);
        return;
    }
    message.frame(serverFrame_, firstFrame_ ? -1 : serverFrame_ - 1, 0, AreaBits);
    message.playerInfo(viewDelta(sentView_, view_));
    message.packetEntities(entityDeltas());
    message.raw(std::exchange(afterFrame_, MessageWriter()).bytes());
    writeBlock(message);
    sentView_ = view_;
    ++serverFrame_;
    firstFrame_ = false;
}

void MatchRecorder::writeBlock(const MessageWriter& message)
{
    const Bytes bytes = writer_.block(message).take();
    sink_.write(bytes);
    recordedBytes_ += bytes.size();
}

class MemorySink final : public DemoSink {
public:
    void write(const Bytes& bytes) override { demo_.insert(demo_.end(), bytes.begin(), bytes.end()); }
    Bytes& demo() { return demo_; }

private:
    Bytes demo_;
};

}  // namespace

Bytes recordMatch(const Match& match, DemoWriter::Format format)
{
    MemorySink sink;
    recordMatch(match, sink, format);
    return std::move(sink.demo());
}

void recordMatch(const Match& match, DemoSink& sink, DemoWriter::Format format)
{
    MatchRecorder(match, format, sink).record();
}

}  // namespace kest::sample_match
