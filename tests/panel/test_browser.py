"""The test panel in a browser: headless Chromium loads the page that `mfbctl panel` serves for two
simulated boards and checks, through the page as a person would use it, what the panel is for.
It writes a screenshot of the page beside the tool (MFB_PANEL_SCREENSHOT names another place).

    MFBCTL=build/linux-release/mfbctl /usr/bin/python3 -m pytest -q tests/panel
"""
import os
import re
import signal
import subprocess
import tempfile
import time
from pathlib import Path

import pytest
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

ROOT = Path(__file__).resolve().parents[2]
MFBCTL = Path(os.environ.get("MFBCTL", ROOT / "build/linux-release/mfbctl"))


@pytest.fixture(scope="module")
def panel():
    proc = subprocess.Popen([str(MFBCTL), "panel", "--sim-boards", "2"], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)
    url = re.search(r"http://\S+", proc.stdout.readline()).group(0)
    yield url
    proc.send_signal(signal.SIGINT)
    assert proc.wait(timeout=20) == 0


@pytest.fixture(scope="module")
def page(panel):
    profile = tempfile.TemporaryDirectory()
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    # As root Chromium needs --no-sandbox; the rest keeps it off the network and out of the way.
    for arg in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update",
                "--disable-sync", "--window-size=1400,1800", f"--user-data-dir={profile.name}"):
        options.add_argument(arg)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.get(panel)
    wait(driver, lambda d: d.find_elements(By.CSS_SELECTOR, "#board-1 .card"))
    yield driver
    driver.quit()
    profile.cleanup()


def wait(driver, condition, seconds=15):
    return WebDriverWait(driver, seconds, poll_frequency=0.05).until(condition)


def card(driver, key):
    return driver.find_element(By.ID, "card-" + key.replace("/", "-"))


def press(card_element, label):
    card_element.find_element(By.XPATH, f".//button[text()='{label}']").click()


def result(driver, key, expected):
    """The card's result line once it shows `expected`."""
    return wait(driver, lambda d: expected in card(d, key).find_element(
        By.CLASS_NAME, "result").text and card(d, key).find_element(By.CLASS_NAME, "result").text)


def test_boards_and_their_modules_are_shown(page):
    assert "live" == page.find_element(By.ID, "connection").text
    titles = {key: card(page, key).find_element(By.TAG_NAME, "h3").text
              for key in ("0/0", "0/1", "0/2", "0/3", "1/0", "1/1", "1/2", "1/3")}
    assert [t.split(" ")[2] for t in titles.values()] == [
        "counter", "timer", "ttl", "ssi", "pwm", "counter", "timer", "ttl"]
    for board in ("0", "1"):
        assert f"MFB-SIM-{board}" in page.find_element(By.ID, "board-" + board).text
    # A read the module refuses shows on its card, in the command line's words.
    assert "run init first" in card(page, "0/3").find_element(By.CLASS_NAME, "error").text


def test_a_turning_encoder_counts_and_charts(page):
    counter = card(page, "0/0")
    press(counter, "turn")
    result(page, "0/0", "moved")
    value = lambda: int(counter.find_element(By.CLASS_NAME, "value").text)
    first = wait(page, lambda d: value() > 0 and value())
    wait(page, lambda d: value() > first + 1000)
    points = page.execute_script("return mfbPanel.chartPoints('0/0')")
    assert len(points) > 5 and points[-1] > points[0]


def test_a_ttl_output_line_follows_its_switch(page):
    ttl = card(page, "0/2")
    Select(ttl.find_elements(By.TAG_NAME, "select")[1]).select_by_visible_text("out")
    press(ttl, "set directions")
    result(page, "0/2", "port 1 out")
    line = ttl.find_element(By.CSS_SELECTOR, "button.line[data-line='3']")
    wait(page, lambda d: "out" in line.get_attribute("class"))
    assert "high" not in line.get_attribute("class")
    line.click()
    result(page, "0/2", "line 3: set 1")
    wait(page, lambda d: "high" in line.get_attribute("class"))


def test_a_compare_interrupt_shows_decoded_in_the_log(page):
    counter = card(page, "0/0")
    press(counter, "modulo")
    result(page, "0/0", "modulo compare every 1000 counts")
    press(counter, "enable")
    result(page, "0/0", "compare logic enabled")
    row = wait(page, lambda d: [r for r in d.find_elements(By.CSS_SELECTOR, "#irq-log tr")
                                if "compare" in r.text])[0]
    cells = row.find_elements(By.TAG_NAME, "td")
    assert [c.text for c in cells[1:5]] == ["0", "0", "counter", "compare"]
    assert re.search(r"count \d*000\b.*direction up", cells[5].text)
    wait(page, lambda d: float(d.find_element(By.ID, "irq-rate").text.split()[0]) > 0)


def test_a_refusal_reads_as_on_the_command_line(page):
    press(card(page, "1/0"), "new timing")
    shown = result(page, "1/0", "refused")
    cli = subprocess.run([str(MFBCTL), "pwm", "-b", "1", "timing", "--low", "3us", "--high", "7us"],
                         capture_output=True, text=True)
    assert cli.returncode == 1
    assert shown == cli.stderr.strip()
    assert "the simulated PWM is not set up" in shown


def test_a_firmware_flash_shows_progress_and_the_result(page, tmp_path):
    payload = tmp_path / "payload.bin"
    payload.write_bytes(bytes(range(256)) * 120)
    files = []
    for m in range(4):
        files.append(tmp_path / f"m{m}.mfw")
        subprocess.run([str(MFBCTL), "firmware", "make", str(payload), str(files[-1])], check=True,
                       capture_output=True)
    firmware = card(page, "0/firmware")
    for input_element, path in zip(firmware.find_elements(By.CLASS_NAME, "firmware-file"), files):
        input_element.send_keys(str(path))
    wait(page, lambda d: len(firmware.find_elements(By.CSS_SELECTOR, ".inspect tr")) == 4)
    assert firmware.find_element(By.CLASS_NAME, "inspect").text.count("accepted") == 4
    press(firmware, "flash")
    alert = wait(page, lambda d: d.switch_to.alert)
    assert "Replace the firmware of the four modules of board 0" in alert.text
    alert.accept()
    result(page, "0/firmware", "the firmware of the four modules is replaced (122880 bytes)")
    assert firmware.find_element(By.CLASS_NAME, "stage").text == "done"
    assert page.execute_script("return mfbPanel.flashProgressSeen(0)") == 100
    assert firmware.find_element(By.CLASS_NAME, "flash-progress").get_attribute("value") == "100"


def test_screenshot(page):
    target = Path(os.environ.get("MFB_PANEL_SCREENSHOT", MFBCTL.parent / "panel.png"))
    time.sleep(0.5)  # a few passes more on the charts
    page.execute_script("window.scrollTo(0, 0)")
    assert page.save_screenshot(str(target))
