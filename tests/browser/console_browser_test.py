#!/usr/bin/python3
"""The operator console in a real browser: headless Chromium drives the console of a running
kestromd on free loopback ports, with kestrom-client as the devices.

Run by ctest; by hand:
    /usr/bin/python3 tests/browser/console_browser_test.py --kestromd build/kestromd \
        --client build/kestrom-client [--screenshots docs/manual]
The Windows build under Wine (WINEPREFIX set, wineserver -p running):
    ... --launcher wine --kestromd build-win/kestromd.exe --client build-win/kestrom-client.exe
"""
import argparse
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

ARP = ("IP address       HW type     Flags       HW address            Mask     Device\n"
       "127.0.0.2        0x1         0x2         02:00:00:00:00:02     *        lo\n")
SETTINGS = ("Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Kestrom\\3.23]\n"
            "\"LogEvents\"=\"1\"\n\"SecurityEnabled\"=\"1\"\n"
            "\"FieldOrvoSecurityEnabled\"=\"1\"\n")


def free_port():
    # Below 32768: the window's highest port, which --port keeps to.
    while True:
        port = random.randint(20000, 32000)
        with socket.socket() as s:
            try:
                s.bind(("127.0.0.1", port))
                return port
            except OSError:
                pass


def wait_until(condition, timeout, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(step)
    return condition()


def find_after_load(driver, by, value, timeout=10):
    """The element on the page a click has just asked for: a slow server (a sanitizer build)
    may still be answering when the click returns."""
    found = []
    wait_until(lambda: found.extend(driver.find_elements(by, value)) or bool(found), timeout, 0.1)
    if not found:
        raise Failure("no element %s after the page loaded" % value)
    return found[0]


def submit_and_wait(driver, button, timeout=10):
    """Clicks a form's button and waits until the page it posts to has replaced this one, so
    that what the form changed is in force before the next step."""
    button.click()

    def replaced():
        try:
            button.is_enabled()
            return False
        except StaleElementReferenceException:
            return True
    if not wait_until(replaced, timeout, 0.05):
        raise Failure("the page did not answer the form")


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)
    print("ok:", what, flush=True)


def launched(args, command):
    """A command as it is run: under the launcher (wine) when one is given."""
    return [args.launcher] + command if args.launcher else command


def native(args, path):
    """A path as the programs name it: Wine sees the Linux root as drive Z:."""
    return "Z:" + path.replace("/", "\\") if args.launcher else path


class Meet:
    def __init__(self, args, root):
        self.args = args
        self.root = root
        self.port = free_port()
        self.console_port = free_port()
        for d in ("cfg", "ev", "res", "run"):
            os.makedirs(os.path.join(root, d))
        with open(os.path.join(root, "cfg", "settings.reg"), "w") as f:
            f.write(SETTINGS)
        with open(os.path.join(root, "arp"), "w") as f:
            f.write(ARP)
        with open(os.path.join(root, "ev", "orvo.evt"), "w") as f:
            f.write("1,1,1,Start\r\n")
        env = dict(os.environ, XDG_RUNTIME_DIR=os.path.join(root, "run"),
                   KESTROM_ARP_TABLE=native(args, os.path.join(root, "arp")))
        self.out = open(os.path.join(root, "stdout.log"), "w")
        self.daemon = subprocess.Popen(
            launched(args, [
                args.kestromd, "--config-dir", native(args, os.path.join(root, "cfg")),
                "--port", str(self.port), "--event-dir", native(args, os.path.join(root, "ev")),
                "--results-dir", native(args, os.path.join(root, "res")),
                "--console-port", str(self.console_port)]),
            stdout=self.out, stderr=subprocess.STDOUT, env=env)
        # Wine starts slowly.
        if not wait_until(lambda: self.client("ping").returncode == 0,
                          30 if args.launcher else 10, 0.2):
            raise Failure("kestromd did not start")

    def client(self, *words, local=None):
        cmd = [self.args.client, "--port", str(self.port), "--timeout", "3000"]
        if local:
            cmd += ["--local-address", local]
        return subprocess.run(launched(self.args, cmd + list(words)), capture_output=True,
                              text=True)

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.console_port, path)

    def stop(self):
        # Wine turns SIGINT into Ctrl+C for the console handler; its SIGTERM skips the handler.
        self.daemon.send_signal(signal.SIGINT if self.args.launcher else signal.SIGTERM)
        code = self.daemon.wait(10)
        self.out.close()
        return code


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1200,800",
              "--disable-dev-shm-usage"):
        options.add_argument(a)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def run(args, root):
    meet = Meet(args, root)
    driver = browser()
    shots = args.screenshots

    def shot(name):
        if shots:
            driver.save_screenshot(os.path.join(shots, name))

    try:
        driver.get(meet.url("/"))
        check(wait_until(lambda: "Operator console at" in driver.find_element(By.ID, "log").text,
                         5), "the status page streams the event log")
        # A request by a device shows in the open page's log within a second.
        before = driver.find_element(By.ID, "log").text.count("ClerkOrvo Ping")
        result = meet.client("ping", "clerkorvo")
        sent = time.monotonic()
        check(result.returncode == 0, "kestrom-client ping clerkorvo is served")
        shown = wait_until(lambda: driver.find_element(By.ID, "log").text.count(
            "ClerkOrvo Ping") > before, 1.0, 0.02)
        print("log line shown %.3f s after the reply" % (time.monotonic() - sent), flush=True)
        check(shown, "the request's log line is in the page within a second")
        first_line = driver.find_element(By.CSS_SELECTOR, "#log div").text
        check("ClerkOrvo Ping" in first_line or "Unable to retrieve" in first_line or
              "loopback" in first_line, "newest lines are on top")
        shot("console-status.png")

        driver.get(meet.url("/devices"))
        rows = driver.find_element(By.ID, "devices").text
        check("127.0.0.1" in rows and "ClerkOrvo" in rows, "the device board shows the client")
        status = subprocess.run(launched(args, [args.client, "status", "--console-port",
                                                str(meet.console_port)]),
                                capture_output=True, text=True)
        check(status.returncode == 0 and "127.0.0.1\t" in status.stdout,
              "kestrom-client status prints the board")
        shot("console-devices.png")

        first = native(args, os.path.join(root, "first.qff"))
        second = native(args, os.path.join(root, "second.qff"))
        with open(os.path.join(root, "first.qff"), "w", newline="") as f:
            f.write("7,1,3,Shot\r 1,Ann,12.50\r")
        with open(os.path.join(root, "second.qff"), "w", newline="") as f:
            f.write("7,1,3,Shot\r 1,Ann,99.99\r")
        check(meet.client("upload-results", first).stdout.startswith("ROK"),
              "the first upload is stored")
        driver.get(meet.url("/uploads"))
        uploads = driver.find_element(By.ID, "uploads").text
        check("007-1-03.qff" in uploads and "ROK" in uploads, "the upload is in Uploads")
        check(meet.client("upload-results", second).stdout.startswith("ROK"),
              "a second upload overwrites the heat")
        driver.get(meet.url("/uploads"))
        shot("console-uploads.png")

        driver.get(meet.url("/history"))
        driver.find_element(By.LINK_TEXT, "007-1-03.qff").click()
        versions = find_after_load(driver, By.ID, "versions").text
        check("127.0.0.1" in versions, "History lists the replaced version with its device")
        driver.find_element(By.ID, "compare").click()
        check("12.50" in find_after_load(driver, By.ID, "a").text and
              "99.99" in driver.find_element(By.ID, "b").text,
              "two versions side by side")
        shot("console-history.png")
        driver.back()
        driver.find_element(By.CSS_SELECTOR, "button[id^=restore-]").click()
        def restored():
            try:
                return any("Restored version" in e.text
                           for e in driver.find_elements(By.ID, "msg"))
            except StaleElementReferenceException:
                return False  # the page was replaced while it was read
        check(wait_until(restored, 10, 0.1),
              "the console reports the restore")
        read = meet.client("results", "7", "1", "3")
        check("12.50" in read.stdout and "99.99" not in read.stdout,
              "kestrom-client reads the restored content")

        driver.get(meet.url("/access"))
        driver.find_element(By.ID, "prompting").click()
        submit_and_wait(driver, driver.find_element(By.ID, "prompting-save"))
        check(find_after_load(driver, By.ID, "prompting").is_selected(),
              "prompting for unknown clients is on")
        unknown = subprocess.Popen(
            launched(args, [args.client, "--port", str(meet.port), "--local-address",
                            "127.0.0.2", "ping"]),
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        refused, _ = unknown.communicate(timeout=10)
        check(refused.startswith("TCC"), "the unknown client is refused while it is asked about")

        def prompt_shown():
            driver.get(meet.url("/access"))
            return len(driver.find_elements(By.CSS_SELECTOR, "form.prompt")) == 1
        check(wait_until(prompt_shown, 5, 0.2), "the prompt is in the browser")
        form = driver.find_element(By.CSS_SELECTOR, "form.prompt")
        form.find_element(By.NAME, "name").send_keys("Pit lane")
        Select(form.find_element(By.NAME, "enabled")).select_by_value("1")
        Select(form.find_element(By.NAME, "fieldorvo")).select_by_value("1")
        shot("console-prompt.png")
        form.find_element(By.CSS_SELECTOR, "button[value=yes]").click()
        check(wait_until(lambda: meet.client("ping", local="127.0.0.2").stdout.startswith("HMM"),
                         5, 0.2), "the client is served once the operator added it")
        driver.get(meet.url("/access"))
        check("02:00:00:00:00:02" in driver.find_element(By.ID, "acl").text,
              "the access list holds the new client")
        shot("console-access.png")
    finally:
        driver.quit()
        code = meet.stop()
    check(code == 0, "kestromd stops cleanly")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kestromd", required=True)
    parser.add_argument("--client", required=True)
    parser.add_argument("--screenshots", default="")
    parser.add_argument("--launcher", default="", help="runs both programs, e.g. wine")
    args = parser.parse_args()
    root = tempfile.mkdtemp(prefix="kestrom-browser-")
    try:
        run(args, root)
    except Failure as e:
        print("FAILED:", e, flush=True)
        with open(os.path.join(root, "stdout.log")) as f:
            print(f.read()[-3000:])
        return 1
    finally:
        shutil.rmtree(root, ignore_errors=True)
    print("browser test passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
