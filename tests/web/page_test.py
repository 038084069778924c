"""The web page in headless Chromium, as a user drives it: a HEX file chosen,
a write with its verify on the page's built-in device, or on a serial port
that is a bridge (serial_bridge.py) to `tolvane-cli sim` on its
pseudo-terminal. Over the bridge, what the device holds afterwards is checked
by `tolvane-cli verify`, and the page's time is set against `tolvane-cli
write` on the same device.

usage: page_test.py built-in|bridge|bridge-lost --page INDEX.HTML --hex FILE [--cli TOLVANE-CLI] [--screenshot PNG]
"""

import argparse
import os
import pathlib
import re
import subprocess
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
from serial_bridge import Bridge  # noqa: E402

# The longest a write and verify may take at 57600 baud (about 30 s on the wire).
RUN_LIMIT_S = 120


def fail(message):
    print('FAILED: ' + message, flush=True)
    sys.exit(1)


def browser(bridge_urls):
    options = webdriver.ChromeOptions()
    options.binary_location = '/usr/bin/chromium'
    for argument in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'):
        options.add_argument(argument)
    options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
    driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
    standin = (HERE / 'serial_standin.js').read_text().replace(
        'BRIDGE_URLS', '[' + ', '.join("'%s'" % url for url in bridge_urls) + ']')
    driver.execute_cdp_cmd('Page.addScriptToEvaluateOnNewDocument', {'source': standin})
    return driver


def wait_for(description, condition, limit_s):
    end = time.monotonic() + limit_s
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    fail('%s: not within %d s' % (description, limit_s))


def run_page(driver, page, hex_file, button, screenshot=None):
    """Loads the file and runs the write; the outcome and the page's time."""
    driver.get(page.as_uri())
    wait_for('the core starts', lambda: driver.execute_script('return document.body.dataset.ready'), 30)
    driver.find_element(By.ID, 'hex-file').send_keys(str(hex_file))
    wait_for('the file loads', lambda: driver.find_element(By.ID, 'loaded').get_attribute('data-bytes'), 10)
    driver.find_element(By.ID, button).click()
    outcome = driver.find_element(By.ID, 'outcome')
    wait_for('the run ends', lambda: outcome.get_attribute('data-state') in ('done', 'error'), RUN_LIMIT_S)
    if screenshot:
        driver.save_screenshot(str(screenshot))
    result = {
        'state': outcome.get_attribute('data-state'),
        'status': outcome.get_attribute('data-status'),
        'seconds': float(outcome.get_attribute('data-seconds') or 'nan'),
        'caption': driver.find_element(By.ID, 'outcome-caption').text,
        'text': driver.find_element(By.ID, 'outcome-text').text,
        'log': driver.find_element(By.ID, 'log').get_attribute('textContent'),
    }
    return result


def expect_written(result):
    if result['state'] != 'done' or result['status'] != 'done':
        fail('the run ended %s/%s: %s %s\n%s' % (result['state'], result['status'], result['caption'],
                                                 result['text'], result['log'][-3000:]))
    if result['caption'] != 'ИНФОРМАЦИЯ' or 'только в области монитора' not in result['text']:
        fail('unexpected verdict: %s: %s' % (result['caption'], result['text']))
    if 'Конец записи, записано блоков = 1024 из них защищено от изменений = 16' not in result['log']:
        fail('the trace does not end the write as expected:\n' + result['log'][-3000:])


def start_sim(cli, *options):
    sim = subprocess.Popen([cli, 'sim', '--baud', '57600', '--program-ms', '2', *options], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, text=True)
    path = sim.stdout.readline().strip()
    if not path.startswith('/dev/'):
        sim.kill()
        fail('tolvane-cli sim did not name its port: %r %s' % (path, sim.stderr.read()))
    return sim, path


def cli_run(cli, *arguments):
    start = time.monotonic()
    done = subprocess.run([cli, *arguments], capture_output=True, text=True, timeout=RUN_LIMIT_S)
    return done, time.monotonic() - start


def test_built_in(args):
    driver = browser([])
    try:
        result = run_page(driver, args.page, args.hex, 'write-built-in', args.screenshot)
        expect_written(result)
        holds = driver.execute_script(
            'return window.tolvaneCore.ccall("tolvane_built_in_device_holds_file", "number", [], [])')
        if holds != 1:
            fail('the built-in device does not hold the file after the write')
    finally:
        driver.quit()
    print('built-in device: write and verify in %.2f s' % result['seconds'])


def write_over_bridge(args, path):
    """The page's write through a port that is a bridge to the simulated
    device on path; the bridge lets go of the line before anything else
    opens it."""
    bridge = Bridge(path)
    try:
        driver = browser([bridge.url])
        try:
            return run_page(driver, args.page, args.hex, 'write-port', args.screenshot)
        finally:
            driver.quit()
    finally:
        bridge.stop()


def test_bridge(args):
    sim, path = start_sim(args.cli)
    try:
        page = write_over_bridge(args, path)
        expect_written(page)
        # The device holds the file, by the command line's own reading.
        verified, _ = cli_run(args.cli, 'verify', '--port', path, str(args.hex))
        if verified.returncode != 0:
            fail('tolvane-cli verify after the page: exit %d\n%s%s' % (verified.returncode, verified.stdout,
                                                                        verified.stderr))
        written, cli_seconds = cli_run(args.cli, 'write', '--port', path, str(args.hex))
        if written.returncode != 0:
            fail('tolvane-cli write: exit %d\n%s%s' % (written.returncode, written.stdout, written.stderr))
    finally:
        sim.terminate()
        sim.wait(10)
    # The command line's own time of the run, from its line for the port.
    said = re.search(r', exit 0, ([0-9.]+) s$', written.stdout, re.MULTILINE)
    run_seconds = float(said.group(1)) if said else cli_seconds
    print('bridged port: the page\'s write and verify %.2f s; tolvane-cli write on the same device %.1f s '
          '(%.2f s as a process); page / command line %.3f'
          % (page['seconds'], run_seconds, cli_seconds, page['seconds'] / run_seconds))


def test_bridge_lost(args):
    """The device goes away in the middle of the write: the port is lost,
    in the browser's words, and the page says what the device now holds."""
    sim, path = start_sim(args.cli, '--fault', 'vanish@200')
    try:
        page = write_over_bridge(args, path)
    finally:
        sim.terminate()
        sim.wait(10)
    if page['state'] != 'error' or page['status'] != 'link-failed':
        fail('the run ended %s/%s: %s' % (page['state'], page['status'], page['text']))
    lost = 'Связь с портом потеряна: NetworkError: The device has been lost.\n'
    if page['caption'] != 'ОШИБКА ПРИ РАБОТЕ С COM-ПОРТОМ' or not page['text'].startswith(lost):
        fail('unexpected verdict: %s: %s' % (page['caption'], page['text']))
    if 'прошивка в модуле неполная' not in page['text']:
        fail('the verdict does not say the firmware is partial: ' + page['text'])
    print('lost port: ' + page['text'].replace('\n', ' / '))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('target', choices=['built-in', 'bridge', 'bridge-lost'])
    parser.add_argument('--page', type=pathlib.Path, required=True)
    parser.add_argument('--hex', type=pathlib.Path, required=True)
    parser.add_argument('--cli', default=None)
    parser.add_argument('--screenshot', type=pathlib.Path, help='the page after the run, as PNG')
    args = parser.parse_args()
    args.page = args.page.resolve()
    args.hex = args.hex.resolve()
    if not args.page.exists():
        fail('no page at %s (build the web preset)' % args.page)
    if args.target.startswith('bridge'):
        if not args.cli or not os.access(args.cli, os.X_OK):
            fail('no tolvane-cli at %s (build the default preset first)' % args.cli)
        (test_bridge if args.target == 'bridge' else test_bridge_lost)(args)
    else:
        test_built_in(args)


if __name__ == '__main__':
    main()
