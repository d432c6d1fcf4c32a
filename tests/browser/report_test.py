#!/usr/bin/env python3
"""The match report (kest.html) in a real browser: Debian's headless Chromium, driven by its
chromedriver through python3-selenium. Each page is made by the built kest in a folder of its own
and read back from the browser's DOM, cell by cell, against the kest.json of the same demos.

    /usr/bin/python3 tests/browser/report_test.py --build build/release [--recordings DIR]
                                                  [--screenshot docs/report.png] [unittest options]

--build is a build folder holding src/kest and tools/make_named_match; --recordings a folder of
real recordings (../shared/demos beside the checkout by default; their tests are skipped without
it); --screenshot where the picture of the sample demos' page goes.
"""
import argparse
import collections
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import headless_chromium  # noqa: E402  (found in tools/ once ROOT is known)
OPTIONS = argparse.Namespace()

# Demo texts a page must show as characters and never run: each breaks out of a context of HTML.
HOSTILE_FILE = "<svg onload=alert(6)>.dm2"
HOSTILE_LEVEL = "<script>alert(5)</script>"
HOSTILE_PLAYERS = ["<img src=x onerror=alert(1)>", "</td></tr></table><b>bold", '"><svg onload=alert(3)>',
                   "&amp; &lt;b&gt; 'q'"]
# A name in the game's coloured letters (the high bit set), which reads as plain ASCII, as in the log.
COLOURED_PLAYER = (bytes(c | 0x80 for c in b"Green") + b"<i>", "Green<i>")

# What the page shows of its demos (the table of them when given null, else the demo's section at that
# place), read from the DOM as a reader sees it (innerText).
READ_PAGE = r"""
const text = (node) => node ? node.innerText : null;
const rows = (table, cells) => table ? Array.from(table.querySelectorAll("tbody tr"),
    (row) => Array.from(row.querySelectorAll(cells), text)) : null;
const level = (section) => ({
  title: text(section.querySelector("h3")),
  counted: rows(section.querySelector("table.counted"), "td"),
  gameCaption: text(section.querySelector("table.game caption")),
  game: rows(section.querySelector("table.game"), "td"),
  absent: text(section.querySelector(".absent")),
  victims: section.querySelector("table.matrix") &&
      Array.from(section.querySelectorAll("table.matrix thead th"), text).slice(1),
  matrix: rows(section.querySelector("table.matrix"), "th, td"),
  lines: section.querySelectorAll("svg.plot path.line").length,
  ends: Array.from(section.querySelectorAll("svg.plot text.end"), (node) => node.textContent),
  legend: Array.from(section.querySelectorAll(".legend li"), text),
});
const demo = document.querySelectorAll("section.demo")[arguments[0]];
return arguments[0] === null ? rows(document.querySelector("table.summary"), "td") : {
  file: text(demo.querySelector("h2")),
  levels: Array.from(demo.querySelectorAll("section.level"), level),
  fold: text(demo.querySelector("details.messages > summary")),
  messages: Array.from(demo.querySelectorAll("table.log tbody tr"),
      (row) => [row.className].concat(Array.from(row.cells, (cell) => cell.textContent))),
};
"""

# What of the page's tables and charts is not laid out, outside the folded lists of messages.
UNSHOWN = r"""
return Array.from(document.querySelectorAll("main th, main td, main svg"))
  .filter((node) => !node.closest("details:not([open])") && node.getClientRects().length === 0)
  .map((node) => node.outerHTML.slice(0, 80));
"""

# What reaches past the right of the layout (which a phone's browser would widen the window to) other
# than in a part that scrolls of its own; a section that is laid out only near the window cuts it off.
WIDER = r"""
const width = document.documentElement.clientWidth;
const scrolls = (node) => node && (["auto", "scroll"].includes(getComputedStyle(node).overflowX) ||
                                   scrolls(node.parentElement));
return Array.from(document.querySelectorAll("body *"))
  .filter((node) => node.getBoundingClientRect().right > width + 0.5 && !scrolls(node.parentElement))
  .map((node) => node.outerHTML.slice(0, 80));
"""

# The messages a reader sees now: those of the rows the page lays out.
SHOWN_MESSAGES = r"""
return Array.from(document.querySelectorAll("table.log tbody tr"))
  .filter((row) => row.getClientRects().length > 0)
  .map((row) => [row.className, row.cells[2].textContent]);
"""


def clock(seconds):
    return "%02d:%02d:%02d" % (seconds // 3600, seconds // 60 % 60, seconds % 60)


def level_title(level):
    title = " ".join(part for part in (level["name"], level["map"]) if part)
    return title or "\u2014"


def fragging(level):
    return [p for p in level["players"] if p["kills"] + p["deaths"] + p["team_kills"] > 0]


def top_weapon(player):
    if not player["weapons"]:
        return "\u2014"
    weapon, kills = max(player["weapons"].items(), key=lambda item: item[1])
    return "%s (%d)" % (weapon, kills)


def expected_summary(demo):
    maps, players = [], []
    for level in demo["levels"]:
        if level_title(level) not in maps:
            maps.append(level_title(level))
        players += [p["name"] for p in level["players"] if p["name"] not in players]
    row = [demo["file"], "\n".join(maps) or "\u2014", clock(demo["seconds"]), ", ".join(players) or "\u2014"]
    deaths = [sum(p["deaths"] for p in level["players"]) for level in demo["levels"]]
    level = demo["levels"][deaths.index(max(deaths))] if deaths else None
    if not level or not level["players"]:
        return row + ["\u2014", "\u2014"]
    first, rest = level["players"][0], level["players"][1:]
    tie = rest and rest[0]["score"] == first["score"]
    score = "%s %d" % (first["name"], first["score"])
    if rest:
        score += " \u2013 %d %s" % (rest[0]["score"], rest[0]["name"])
    return row + ["(tie)" if tie else first["name"], score]


def expected_level(demo, at):
    level = demo["levels"][at]
    title = level_title(level) + (" from " + clock(level["from"]) if len(demo["levels"]) > 1 else "")
    expected = {"title": title, "counted": None, "gameCaption": None, "game": None, "absent": None,
                "victims": None, "matrix": None, "lines": 0, "ends": [], "legend": []}
    if not level["players"]:
        return expected
    by_name = {p["name"]: p for p in level["players"]}
    expected["counted"] = [[p["name"], str(p["score"]), str(p["kills"]), str(p["deaths"]), str(p["suicides"]),
                            str(p["team_kills"]), top_weapon(p)] for p in level["players"]]
    board = level["scoreboard"]
    active = fragging(level)
    if board:
        with_deaths = any(row["deaths"] is not None for row in board["rows"])
        expected["gameCaption"] = "The game's scoreboard at " + clock(board["seconds"])
        expected["game"] = []
        for row in board["rows"]:
            counted = by_name.get(row["name"])
            differs = []
            if counted and row["score"] != counted["score"]:
                differs.append("score %d" % counted["score"])
            if counted and with_deaths and row["deaths"] is not None and row["deaths"] != counted["deaths"]:
                differs.append("deaths %d" % counted["deaths"])
            against = "not counted" if not counted else "counted: " + ", ".join(differs) if differs else "as counted"
            deaths = ["" if row["deaths"] is None else str(row["deaths"])] if with_deaths else []
            expected["game"].append([row["name"], str(row["score"])] + deaths + [str(row["ping"]), against])
        shown = {row["name"] for row in board["rows"]}
        absent = ["%s (%d)" % (p["name"], p["score"]) for p in active if p["name"] not in shown]
        expected["absent"] = "Not on the game's scoreboard: " + ", ".join(absent) if absent else None
    if active:
        # Who fragged whom, from the frag messages of the level's play time.
        end = demo["levels"][at + 1]["from"] if at + 1 < len(demo["levels"]) else float("inf")
        frags = collections.Counter((m["killer"], m["victim"]) for m in demo["messages"]
                                    if m.get("killer") is not None and level["from"] <= m["seconds"] < end)
        names = [p["name"] for p in active]
        expected.update(victims=names, matrix=[[k] + [str(frags[(k, v)]) for v in names] for k in names],
                        lines=len(active), ends=["%s %d" % (p["name"], p["score"]) for p in active], legend=names)
    return expected


def expected_page(demos):
    """The page's demos as READ_PAGE reads them, made from kest.json's objects."""
    page = {"summary": [expected_summary(demo) for demo in demos], "demos": []}
    for demo in demos:
        kinds = collections.Counter(m["kind"] for m in demo["messages"])
        fold = ("%d message%s: %d FRAG, %d CLSV, %d CHAT" % (len(demo["messages"]), "" if len(demo["messages"]) == 1
                                                              else "s", kinds["FRAG"], kinds["CLSV"], kinds["CHAT"])
                if demo["messages"] else None)
        page["demos"].append({"file": demo["file"], "fold": fold,
                              "levels": [expected_level(demo, at) for at in range(len(demo["levels"]))],
                              "messages": [[m["kind"], m["time"], m["kind"], m["text"]] for m in demo["messages"]]})
    return page


def run_kest(folder, *arguments):
    """Runs kest in `folder`; its exit code and output, and the files it left there."""
    done = subprocess.run([OPTIONS.kest, *arguments], cwd=folder, capture_output=True, timeout=120)
    files = {}
    for name in ("kest.log", "kest.json", "kest.html"):
        path = os.path.join(folder, name)
        if os.path.exists(path):
            with open(path, "rb") as file:
                files[name] = file.read()
            os.remove(path)
    return done.returncode, done.stdout, files


def browser(scripts=True):
    def configure(options):
        if not scripts:
            options.add_experimental_option("prefs", {"profile.managed_default_content_settings.javascript": 2})
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        # A dialog a page opens stays open for the test to find.
        options.set_capability("unhandledPromptBehavior", "ignore")
    return headless_chromium.start(configure)


close = headless_chromium.stop


class PageTest(unittest.TestCase):
    """Makes pages in folders of its own and reads them in one browser."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="kest-browser-")
        cls.driver = browser()

    @classmethod
    def tearDownClass(cls):
        close(cls.driver)
        shutil.rmtree(cls.work, ignore_errors=True)

    def folder(self, name):
        path = os.path.join(self.work, name)
        os.makedirs(path, exist_ok=True)
        return path

    def make_page(self, name, arguments, exit_code=0):
        """Runs kest with --html, --json and both, checks that neither option changes the other
        files, writes the page into the folder and returns its path and kest.json's demos."""
        folder = self.folder(name)
        plain = run_kest(folder, *arguments)
        json_run = run_kest(folder, "--json", *arguments)
        html_run = run_kest(folder, *arguments, "--html")
        both = run_kest(folder, "--html", *arguments, "--json")
        self.assertEqual(plain[0], exit_code, plain[1].decode())
        for run in (json_run, html_run, both):
            self.assertEqual(run[0], plain[0])
            self.assertEqual(run[2]["kest.log"], plain[2]["kest.log"], "kest.log changed")
        self.assertEqual(both[2]["kest.json"], json_run[2]["kest.json"], "kest.json changed by --html")
        self.assertEqual(both[2]["kest.html"], html_run[2]["kest.html"], "kest.html changed by --json")
        page = os.path.join(folder, "kest.html")
        with open(page, "wb") as file:
            file.write(both[2]["kest.html"])
        return page, [json.loads(line) for line in both[2]["kest.json"].decode().splitlines()]

    def load(self, page, driver=None):
        driver = driver or self.driver
        driver.get_log("browser")  # what earlier pages logged
        driver.get("file://" + page)
        return driver

    def check_page(self, page, demos, driver=None):
        """Every table, chart and message of the page against kest.json; nothing from elsewhere."""
        driver = self.load(page, driver)
        self.maxDiff = None
        expected = expected_page(demos)
        self.assertEqual(driver.execute_script(READ_PAGE, None), expected["summary"])
        sections = driver.find_elements(By.CSS_SELECTOR, "section.demo")
        self.assertEqual(len(sections), len(demos))
        for at, (section, wanted) in enumerate(zip(sections, expected["demos"])):
            # A section is laid out once it comes near the window, as when a reader scrolls to it.
            driver.execute_script("arguments[0].scrollIntoView()", section)
            WebDriverWait(driver, 5).until(lambda _: section.find_element(By.TAG_NAME, "h2").text)
            self.assertEqual(driver.execute_script(READ_PAGE, at), wanted, wanted["file"])
        driver.execute_script("window.scrollTo(0, 0)")
        policy = driver.find_element(By.CSS_SELECTOR, 'meta[http-equiv="Content-Security-Policy"]')
        self.assertTrue(policy.get_attribute("content").startswith("default-src 'none'; "))
        self.assertNotIn("unsafe", policy.get_attribute("content"))
        self.assertEqual(driver.execute_script("return performance.getEntriesByType('resource').length"), 0)
        self.assertEqual([entry for entry in driver.get_log("browser") if entry["level"] != "INFO"], [])
        # The page's own style sheet is let through by its hash; all but the folded messages is laid out.
        self.assertEqual(driver.execute_script("return getComputedStyle(document.body).marginTop"), "0px")
        self.assertEqual(driver.execute_script(UNSHOWN), [])
        return driver

    def check_filters_and_search(self, page, demos):
        driver = self.load(page)
        messages = [[m["kind"], m["text"]] for demo in demos for m in demo["messages"]]
        driver.execute_script("document.querySelectorAll('details.messages').forEach((d) => { d.open = true; })")
        self.assertEqual(driver.execute_script(SHOWN_MESSAGES), messages)
        for kind in ("frag", "clsv"):
            driver.find_element(By.ID, "show-" + kind).click()
        chat = [m for m in messages if m[0] == "CHAT"]
        self.assertTrue(chat)
        self.assertEqual(driver.execute_script(SHOWN_MESSAGES), chat, "the CHAT filter leaves only CHAT rows")
        for kind in ("frag", "clsv"):
            driver.find_element(By.ID, "show-" + kind).click()
        self.assertEqual(driver.execute_script(SHOWN_MESSAGES), messages)

        # A search for words of a chat line shows the lines that hold them, in the lists it opens.
        line = next(m for m in chat if len(m[1].split(": ", 1)[-1]) >= 4)[1]
        query = line.split(": ", 1)[-1][:12].strip().upper()
        driver.execute_script("document.querySelectorAll('details.messages').forEach((d) => { d.open = false; })")
        search = driver.find_element(By.ID, "search")
        search.send_keys(query)
        found = [m for m in messages if query.lower() in m[1].lower()]
        WebDriverWait(driver, 5).until(lambda d: d.find_element(By.CSS_SELECTOR, ".toolbar output").text)
        self.assertIn(["CHAT", line], found)
        self.assertEqual(driver.execute_script(SHOWN_MESSAGES), found)
        self.assertEqual(driver.find_element(By.CSS_SELECTOR, ".toolbar output").text,
                         "%d message%s" % (len(found), " matches" if len(found) == 1 else "s match"))
        opened = driver.execute_script("return Array.from(document.querySelectorAll('details.messages'), d => d.open)")
        self.assertEqual(opened, [any(query.lower() in m["text"].lower() for m in demo["messages"])
                                  for demo in demos if demo["messages"]])


class SampleDemosTest(PageTest):
    def test_page_of_the_sample_demos(self):
        examples = os.path.join(ROOT, "examples")
        page, demos = self.make_page("examples", [os.path.join(examples, "*.dm2"), os.path.join(examples, "*.mvd2")])
        self.check_page(page, demos)
        self.check_filters_and_search(page, demos)

        # The table of demos sorts by play time, shortest first, then longest first.
        driver = self.load(page)
        files = lambda: [row.find_element(By.TAG_NAME, "a").text
                         for row in driver.find_elements(By.CSS_SELECTOR, "table.summary tbody tr")]
        by_time = [demo["file"] for demo in sorted(demos, key=lambda demo: demo["seconds"])]
        driver.find_element(By.XPATH, "//table[@class='summary']//button[.='Play time']").click()
        self.assertEqual(files(), by_time)
        driver.find_element(By.XPATH, "//table[@class='summary']//button[.='Play time']").click()
        self.assertEqual(files(), [demo["file"] for demo in sorted(demos, key=lambda demo: -demo["seconds"])])

        # Light or dark as the reader prefers; no part wider than a window of 1280 pixels or a phone.
        backgrounds = []
        for scheme in ("light", "dark"):
            driver.execute_cdp_cmd("Emulation.setEmulatedMedia",
                                   {"features": [{"name": "prefers-color-scheme", "value": scheme}]})
            backgrounds.append(driver.execute_script("return getComputedStyle(document.body).backgroundColor"))
        driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})
        self.assertEqual(backgrounds, ["rgb(255, 255, 255)", "rgb(18, 21, 25)"])
        for width, mobile in ((1280, False), (390, True)):
            driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                   {"width": width, "height": 844, "deviceScaleFactor": 1, "mobile": mobile})
            driver.get("file://" + page)
            self.assertEqual(driver.execute_script(WIDER), [], "wider than %d pixels" % width)
        driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})

        if OPTIONS.screenshot:
            driver.set_window_size(1280, 1500)
            driver.get("file://" + page)
            driver.save_screenshot(OPTIONS.screenshot)

        # Without scripts the page shows the same, unfiltered, and no controls that would do nothing.
        quiet = browser(scripts=False)
        try:
            self.check_page(page, demos, quiet)
            self.assertEqual(quiet.find_elements(By.CSS_SELECTOR, ".toolbar, table.summary button"), [])
        finally:
            close(quiet)

    def test_levels_one_after_another(self):
        # The duel and then the deathmatch in one recording, as a server records map after map.
        folder = self.folder("two-levels")
        with open(os.path.join(ROOT, "examples", "cistern-duel.dm2"), "rb") as duel, \
                open(os.path.join(ROOT, "examples", "foundry-dm.dm2"), "rb") as deathmatch, \
                open(os.path.join(folder, "two.dm2"), "wb") as both:
            both.write(duel.read()[:-4] + deathmatch.read())  # without the duel's end marker
        page, demos = self.make_page("two-levels-page", [os.path.join(folder, "two.dm2")])
        self.assertEqual([level["map"] for level in demos[0]["levels"]], ["CISTERN.BSP", "FOUNDRY.BSP"])
        self.check_page(page, demos)


class HostileNamesTest(PageTest):
    def test_names_read_as_given_and_run_nothing(self):
        folder = self.folder("hostile-demos")
        subprocess.run([OPTIONS.make_named_match, os.path.join(folder, HOSTILE_FILE), HOSTILE_LEVEL,
                        *HOSTILE_PLAYERS, COLOURED_PLAYER[0]], check=True)
        players = HOSTILE_PLAYERS + [COLOURED_PLAYER[1]]
        page, demos = self.make_page("hostile", [os.path.join(folder, "*.dm2")])
        # kest read them as given; the page shows them as given (check_page reads every cell).
        self.assertEqual([demo["file"] for demo in demos], [HOSTILE_FILE])
        self.assertEqual(demos[0]["levels"][0]["name"], HOSTILE_LEVEL)
        self.assertEqual(sorted(p["name"] for p in demos[0]["levels"][0]["players"]), sorted(players))
        # No script ran and no element came from a name, whatever the policy would have stopped.
        driver = self.load(page)
        # Time for handlers that would run late, as an image's error does.
        driver.execute_async_script("setTimeout(arguments[0], 500)")
        with self.assertRaises(NoAlertPresentException):
            driver.switch_to.alert.text
        self.assertEqual(driver.title, "Match report: 1 demo")
        made = driver.execute_script("""return Array.from(document.querySelectorAll("*"), (node) =>
            [node.localName].concat(node.getAttributeNames().filter((name) => name.startsWith("on"))))""")
        self.assertEqual([tag for tag in made if len(tag) > 1], [])
        self.assertEqual({tag[0] for tag in made} - {
            "html", "head", "meta", "title", "style", "body", "header", "h1", "p", "main", "section", "h2", "div",
            "table", "caption", "thead", "tbody", "tr", "th", "td", "a", "span", "h3", "figure", "svg", "path", "g",
            "text", "figcaption", "ul", "li", "details", "summary", "script", "input", "label", "output", "button"},
            set())
        self.assertEqual(len(driver.find_elements(By.TAG_NAME, "script")), 1)
        self.check_page(page, demos)
        self.assertEqual(len(fragging(demos[0]["levels"][0])), len(players), "a name left out of the chart")
        self.check_filters_and_search(page, demos)


class RecordingsTest(PageTest):
    """Every real recording, each in a run of its own and all in one run."""

    def setUp(self):
        if not os.path.isdir(OPTIONS.recordings):
            self.skipTest("no folder %s of real recordings" % OPTIONS.recordings)

    def recordings(self):
        return sorted(name for name in os.listdir(OPTIONS.recordings)
                      if os.path.isfile(os.path.join(OPTIONS.recordings, name)) and (".dm2" in name or ".mvd2" in name))

    def test_every_recording_in_one_run(self):
        paths = [os.path.join(OPTIONS.recordings, name) for name in self.recordings()]
        page, demos = self.make_page("recordings", ["-k", *paths], exit_code=2)
        self.assertEqual([demo["file"] for demo in demos], self.recordings())
        self.check_page(page, demos)
        self.check_filters_and_search(page, demos)

    def test_each_recording_alone(self):
        _, all_demos = self.make_page("all", ["-k", *(os.path.join(OPTIONS.recordings, name)
                                                      for name in self.recordings())], exit_code=2)
        for demo in all_demos:
            with self.subTest(demo["file"]):
                path = os.path.join(OPTIONS.recordings, demo["file"])
                if demo["stopped_at"]:
                    # No log without -k, and so no page either: an earlier one stays.
                    folder = self.folder("stopped")
                    with open(os.path.join(folder, "kest.html"), "wb") as file:
                        file.write(b"earlier")
                    code, _, files = run_kest(folder, path, "--html", "--json")
                    self.assertEqual((code, files), (1, {"kest.html": b"earlier"}))
                    continue
                page, demos = self.make_page("alone", [path])
                self.assertEqual(demos, [demo])
                self.check_page(page, demos)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True)
    parser.add_argument("--recordings", default=os.path.join(os.path.dirname(ROOT), "shared", "demos"))
    parser.add_argument("--screenshot")
    options, rest = parser.parse_known_args()
    OPTIONS.kest = os.path.abspath(os.path.join(options.build, "src", "kest"))
    OPTIONS.make_named_match = os.path.abspath(os.path.join(options.build, "tools", "make_named_match"))
    OPTIONS.recordings = os.path.abspath(options.recordings)
    OPTIONS.screenshot = options.screenshot and os.path.abspath(options.screenshot)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
