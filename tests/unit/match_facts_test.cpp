// The match facts: frag lines split against the roster, the tallies and the scoreboard as
// kest.json has them, and the text forms a demo's bytes take there.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "log/json_writer.h"
#include "log/readable_text.h"
#include "match/frag_splitter.h"

namespace kest {
namespace {

// "victim|killer|means|weapon", with "team kill" after a kill of a team mate; "-" for none.
std::string split(const char* gameDirectory, std::vector<std::string_view> names, std::string_view line)
{
    const auto death = FragSplitter(obituariesFor(gameDirectory)).split(line, names);
    if (!death)
        return "-";
    return std::string(death->victim) + "|" + std::string(death->killer.value_or("-")) + "|" +
           std::string(death->obituary->means) + "|" + std::string(death->obituary->weapon) +
           (death->teamKill ? "|team kill" : "");
}

TEST(FragSplitter, NamesAndObituary)
{
    // What the case traps, the game, the roster's names (longest first), the line, the death.
    const std::tuple<const char*, const char*, std::vector<std::string_view>, std::string, const char*> cases[] = {
        {"a kill", "", {"Mako", "Vex"}, "Vex was railed by Mako", "Vex|Mako|railgun|Railgun"},
        {"the killer's words after the killer", "baseq2", {"Mako", "Vex"}, "Vex ate Mako's rocket",
         "Vex|Mako|rocket|Rocket Launcher"},
        {"an obituary's words in the victim's name", "", {"Bob was railed by", "Alice"},
         "Bob was railed by was railed by Alice", "Bob was railed by|Alice|railgun|Railgun"},
        {"an obituary's words in the killer's name", "", {"Bob was railed by", "Alice"},
         "Alice was railed by Bob was railed by", "Alice|Bob was railed by|railgun|Railgun"},
        {"a name that begins another, as victim", "", {"Alice", "Al"}, "Al ate Alice's rocket",
         "Al|Alice|rocket|Rocket Launcher"},
        {"a name that begins another, as killer", "", {"Alice", "Al"}, "Alice ate Al's rocket",
         "Alice|Al|rocket|Rocket Launcher"},
        {"a name that begins with spaces", "", {"          Kvaki", "Enra"}, "          Kvaki was railed by Enra",
         "          Kvaki|Enra|railgun|Railgun"},
        {"high-bit letters and brackets", "", {"\xCD\xE1\xEB[1]", "x"}, "x was railed by \xCD\xE1\xEB[1]",
         "x|\xCD\xE1\xEB[1]|railgun|Railgun"},
        {"a team kill", "opentdm", {"Mako", "Vex"},
         "Vex was railed by Mako\xA0\xAA\xAA\xA0\xF4\xE5\xE1\xED\xA0\xEB\xE9\xEC\xEC\xA0\xAA\xAA",
         "Vex|Mako|railgun|Railgun|team kill"},
        {"the team-kill mark after a death the world dealt", "opentdm", {"Vex"},
         "Vex cratered.\xA0\xAA\xAA\xA0\xF4\xE5\xE1\xED\xA0\xEB\xE9\xEC\xEC\xA0\xAA\xAA", "-"},
        {"a death the world dealt", "", {"Vex"}, "Vex cratered.", "Vex|-|falling|"},
        {"the hit location in the words", "action", {"strc", "[btf]Jehar"},
         "strc's brains are on the wall thanks to [btf]Jehar's 10mm MP5/10 round",
         "strc|[btf]Jehar|mp5|MP5/10 Submachinegun"},
        {"the victim's own doing, her pronoun", "", {"Vex"}, "Vex tripped on her own grenade.", "Vex|-|hg_splash|"},
        {"a game kest has no table for", "mymod", {"Mako", "Vex"}, "Vex was railed by Mako",
         "Vex|Mako|railgun|Railgun"},
        {"a game directory in capitals", "BASEQ2", {"Vex"}, "Vex died.", "Vex|-|unknown|"},
        {"a notice naming two players", "", {"Mako", "Vex"}, "Vex is now known as Mako.", "-"},
        {"words after the obituary", "", {"Mako", "Vex"}, "Vex was railed by Mako, nice", "-"},
        {"a name not in the roster", "", {"Mako"}, "Vex was railed by Mako", "-"},
        {"a world death's words after a kill", "", {"Mako", "Vex"}, "Vex was railed by Mako died.", "-"},
    };
    for (const auto& [trap, game, names, line, death] : cases)
        EXPECT_EQ(split(game, names, line), death) << trap;
}

// Each table's every obituary names its victim and holds no word in braces the splitter does not know.
TEST(FragSplitter, EveryGameTableCompiles)
{
    for (const char* game : {"baseq2", "ctf", "xatrix", "rogue", "opentdm", "action"})
        EXPECT_NO_THROW(FragSplitter{obituariesFor(game)}) << game;
}

using Record = std::tuple<std::int64_t, std::int32_t, std::string>;  // time, kind, text

std::string json(const std::vector<Record>& records)
{
    MessageList list;
    for (const auto& [time, kind, text] : records)
        list.append(time, static_cast<RecordKind>(kind), text);
    return JsonWriter().render(list);
}

constexpr std::int32_t Player = static_cast<std::int32_t>(RecordKind::Player);

// Whole lines of kest.json: each field in its place, the tallies, the players' order, the
// scoreboard, and the deaths of the messages.
TEST(JsonWriter, WholeLines)
{
    const std::tuple<const char*, std::vector<Record>, std::string> cases[] = {
        {"a player's demo: kills, a suicide, a player who left, a scoreboard, a line no obituary explains",
         {{0, 100, "duel.dm2"}, {0, 101, "523"}, {0, 200, "dm2"}, {0, 202, "34"}, {0, 204, ""}, {0, 6, "Arena"},
          {0, 4, "ARENA.BSP"}, {0, Player, "Mako\\female/athena"}, {0, Player + 1, "Vex\\male/grunt"},
          {150, 1, "Vex was railed by Mako\n"}, {160, 1, "Mako cratered.\n"}, {170, 3, "Vex: gg\n"},
          {180, 1, "Vex ate Mako's rocket\n"}, {190, Player + 1, ""}, {200, 1, "Vex was railed by Mako\n"},
          {210, Player + 1, "Orb\\male/grunt"}, {220, 1, "Zed died.\n"}, {230, 2, "Timelimit hit.\n"},
          {240, 205, "xv 0 client 0 0 0 2 50 3 client 0 8 1 0 40 1"}, {1234, 206, ""}},
         R"({"file":"duel.dm2","size":523,"format":"dm2","compressed":false,"protocol":34,"gamedir":"",)"
         R"("seconds":123,"damaged_at":null,"stopped_at":null,"levels":[{"name":"Arena","map":"ARENA.BSP",)"
         R"("from":0,"players":[{"name":"Mako","skin":"female/athena","kills":3,"deaths":1,"suicides":1,)"
         R"("team_kills":0,"score":2,"weapons":{"Railgun":2,"Rocket Launcher":1}},{"name":"Orb","skin":"male/grunt",)"
         R"("kills":0,"deaths":0,"suicides":0,"team_kills":0,"score":0,"weapons":{}},{"name":"Vex",)"
         R"("skin":"male/grunt","kills":0,"deaths":3,"suicides":0,"team_kills":0,"score":0,"weapons":{}}],)"
         R"("scoreboard":{"seconds":24,"rows":[{"name":"Mako","score":2,"deaths":null,"ping":50},)"
         R"({"name":"Orb","score":0,"deaths":null,"ping":40}]}}],"unexplained_frags":1,"messages":[)"
         R"({"seconds":15,"time":"00:00:15","kind":"FRAG","text":"Vex was railed by Mako","victim":"Vex",)"
         R"("killer":"Mako","means":"railgun","weapon":"Railgun","team_kill":false},)"
         R"({"seconds":16,"time":"00:00:16","kind":"FRAG","text":"Mako cratered.","victim":"Mako","killer":null,)"
         R"("means":"falling","weapon":null,"team_kill":false},)"
         R"({"seconds":17,"time":"00:00:17","kind":"CHAT","text":"Vex: gg"},)"
         R"({"seconds":18,"time":"00:00:18","kind":"FRAG","text":"Vex ate Mako's rocket","victim":"Vex",)"
         R"("killer":"Mako","means":"rocket","weapon":"Rocket Launcher","team_kill":false},)"
         R"({"seconds":20,"time":"00:00:20","kind":"FRAG","text":"Vex was railed by Mako","victim":"Vex",)"
         R"("killer":"Mako","means":"railgun","weapon":"Railgun","team_kill":false},)"
         R"({"seconds":22,"time":"00:00:22","kind":"FRAG","text":"Zed died."},)"
         R"({"seconds":23,"time":"00:00:23","kind":"CLSV","text":"Timelimit hit."}]})"
         "\n"},
        {"a compressed multi-view recording that stops, over two levels, with a frag table that cuts a long name",
         {{0, 100, "m\xE9.mvd2.gz"}, {0, 101, "99"}, {0, 200, "mvd2"}, {0, 202, "37"}, {0, 203, "2010"},
          {0, 204, "opentdm"}, {0, 6, "The \x90" "Edge\x91"}, {0, 4, "Q2DM1.BSP"}, {0, Player + 2, "claire@packetflinger\\female/athena"},
          {40, 205, R"(xv 8 yv 48 string2 " Name            Frags Dths Net Ping" yv 56 string "claire@packetfl      7    2   5   34")"},
          {50, 202, "37"}, {50, 203, "2011"}, {50, 204, "x"}, {50, 6, ""}, {50, 4, ""}, {77, 206, ""},
          {0, 201, ""}, {0, 208, "4096"}, {0, 209, "KEST: Unknown demo format (this_id: 0x0 prev_id: 0x0)!"}},
         "{\"file\":\"m\xEF\xBF\xBD.mvd2.gz\","
         R"("size":99,"format":"mvd2","compressed":true,"protocol":37,"minor":2010,"gamedir":"opentdm",)"
         R"("seconds":7,"damaged_at":null,"stopped_at":{"offset":4096,"error":"KEST: Unknown demo format )"
         R"((this_id: 0x0 prev_id: 0x0)!"},"levels":[{"name":"The [Edge]","map":"Q2DM1.BSP","from":0,)"
         R"("players":[{"name":"claire@packetflinger","skin":"female/athena","kills":0,"deaths":0,"suicides":0,)"
         R"("team_kills":0,"score":0,"weapons":{}}],"scoreboard":{"seconds":4,"rows":[{"name":"claire@packetflinger",)"
         R"("score":7,"deaths":2,)"
         R"("ping":34}]}},{"name":"","map":"","from":5,"players":[],"scoreboard":null}],"unexplained_frags":0,)"
         R"("messages":[]})"
         "\n"},
    };
    for (const auto& [name, records, line] : cases)
        EXPECT_EQ(json(records), line) << name;
}

TEST(ReadableText, ConsoleTextAndUtf8)
{
    const std::tuple<std::string, std::string, std::string> cases[] = {
        // text, as the console shows it, as valid UTF-8
        {"plain \"q\" \\", "plain \"q\" \\", "plain \"q\" \\"},
        {"tab\tLF\nCR\r", "tab\tLF\nCR.", "tab\tLF\nCR\r"},
        {"\xC8\xE5\xEC\xEF \xA0", "Helo  ", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD"},
        {"\x10" "1\x11 \x90" "2\x91", "[1] [2]", "\x10" "1\x11 \xEF\xBF\xBD" "2\xEF\xBF\xBD"},
        {"\x01\x7F\x8A\x89", "....", "\x01\x7F\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xAE", "cafC) b., p...", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xAE"},
        // overlong, surrogate, above U+10FFFF, cut short
        {"\xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80 \xE2\x82", "@/ m . t[.. b.",
         "\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD "
         "\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& [text, console, utf8] : cases) {
        EXPECT_EQ(consoleText(text), console) << text;
        EXPECT_EQ(validUtf8(text), utf8) << text;
    }
}

}  // namespace
}  // namespace kest
