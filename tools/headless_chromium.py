"""Debian's Chromium, headless, as the page's tests and its benchmark drive it: a profile of its
own, and none of the background connections this machine's closed network would refuse."""
import shutil
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service


def start(configure=lambda options: None):
    """A driver of a fresh Chromium, 1280 pixels wide; `configure` may add to its options."""
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    profile = tempfile.mkdtemp(prefix="kest-chromium-")
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--user-data-dir=" + profile, "--window-size=1280,1000"):
        options.add_argument(flag)
    configure(options)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.profile = profile
    return driver


def stop(driver):
    driver.quit()
    shutil.rmtree(driver.profile, ignore_errors=True)
