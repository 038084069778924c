"""The web page in headless Chromium, driven as a user drives it: a port
chosen in its list, a HEX file opened, the buttons clicked, the boxes
answered (bench/web/page_bench.py uses its helpers too). Its serial ports are
WebSockets that `tolvane-cli sim --websocket` serves beside its
pseudo-terminal, through a stand-in of navigator.serial put into the page
before its scripts; afterwards the command line reads what the device holds
on the pseudo-terminal.

usage: page_test.py CASE --page INDEX.HTML --hex FILE [--cli TOLVANE-CLI] [--screenshot PNG]
"""

import argparse
import csv
import functools
import hashlib
import http.server
import io
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

from selenium import webdriver
from selenium.common.exceptions import TimeoutException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select

HERE = pathlib.Path(__file__).resolve().parent

# The longest a write and verify may take at 57600 baud (about 30 s on the wire).
RUN_LIMIT_S = 120
# A simulated device at the pace of a real one, and one as fast as it goes.
DEVICE_PACE = ('--baud', '57600', '--program-ms', '2')
FULL_SPEED = ('--baud', '0', '--program-ms', '0')
# How the write's trace ends when the example was written whole.
WRITTEN_WHOLE = 'Конец записи, записано блоков = 1024 из них защищено от изменений = 16'


# The browser of the case, whose page a failure shows (TOLVANE_WEB_FAILURE_PNG).
OPEN_PAGES = []


def fail(message):
    print('FAILED: ' + message, flush=True)
    shot = os.environ.get('TOLVANE_WEB_FAILURE_PNG')
    if shot and OPEN_PAGES:
        OPEN_PAGES[-1].driver.save_screenshot(shot)
    if OPEN_PAGES:
        print('the page\'s trace ends:\n' + OPEN_PAGES[-1].trace()[-2000:], flush=True)
    sys.exit(1)


def wait_for(description, condition, limit_s):
    end = time.monotonic() + limit_s
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    fail('%s: not within %d s' % (description, limit_s))


class Page:
    """One browser on the page, with the stand-in's ports."""

    def __init__(self, url, bridge_urls=(), serial=True):
        options = webdriver.ChromeOptions()
        options.binary_location = '/usr/bin/chromium'
        for argument in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage',
                         '--window-size=1000,1000'):
            options.add_argument(argument)
        self.driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
        standin = (HERE / 'serial_standin.js').read_text().replace(
            'BRIDGE_URLS', json.dumps(list(bridge_urls)))
        if not serial:  # a browser without Web Serial
            standin = 'delete Navigator.prototype.serial;'
        self.driver.execute_cdp_cmd('Page.addScriptToEvaluateOnNewDocument', {'source': standin})
        OPEN_PAGES.append(self)
        self.driver.get(url)
        wait_for('the page is ready', lambda: self.js('return document.body.dataset.ready'), 30)
        # From the start of the navigation, as the page measured it.
        self.ready_seconds = float(self.js('return document.body.dataset.readyMs')) / 1000

    def quit(self):
        OPEN_PAGES.remove(self)
        self.driver.quit()

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def element(self, id):
        return self.driver.find_element(By.ID, id)

    def data(self, name):
        return self.js('return document.getElementById("window").dataset[arguments[0]] || ""', name)

    def until_data(self, name, description, limit_s):
        """Waits for the window's data item without asking again and again:
        a run is timed, and a driver's question twenty times a second would
        take the browser's time from it."""
        self.driver.set_script_timeout(limit_s)
        try:
            return self.driver.execute_async_script('''
                const [name, done] = arguments;
                const shown = document.getElementById('window');
                if (shown.dataset[name]) return done(shown.dataset[name]);
                new MutationObserver((changes, observer) => {
                  if (!shown.dataset[name]) return;
                  observer.disconnect();
                  done(shown.dataset[name]);
                }).observe(shown, { attributes: true });''', name)
        except TimeoutException:
            fail('%s: not within %d s' % (description, limit_s))

    def choose_port(self, value):
        Select(self.element('port')).select_by_value(value)
        wait_for('the port opens', lambda: self.js('return document.getElementById("port").value') not in
                 ('', 'choose') and not self.element('port').get_attribute('disabled'), 10)

    def open_file(self, path):
        chooser = self.element('file')
        self.js('arguments[0].hidden = false', chooser)
        chooser.send_keys(str(path))
        self.js('arguments[0].hidden = true', chooser)

    def box(self, limit_s=10):
        """The open box's caption and text, once one is open."""
        wait_for('a box', lambda: self.js('return document.getElementById("box").open'), limit_s)
        return self.element('box-caption').text, self.js('return document.getElementById("box-text").textContent')

    def answer(self, value):
        """Presses the box's button; the next box may follow at once."""
        shown = self.js('return document.getElementById("box").dataset.shown')
        self.driver.find_element(By.CSS_SELECTOR, '#box-buttons button[data-value="%s"]' % value).click()
        wait_for('the box closes', lambda: not self.js('return document.getElementById("box").open') or
                 self.js('return document.getElementById("box").dataset.shown') != shown, 5)

    def run(self, button, limit_s=RUN_LIMIT_S, screenshot=None):
        """Clicks the button and waits for the run's verdict: status,
        caption, text (the box closed with OK)."""
        self.js('document.getElementById("window").dataset.status = ""')
        self.element(button).click()
        self.until_data('status', button + ' ends', limit_s)
        # A verdict's box opens at once; a read that went well has none.
        quiet = self.data('status') == 'refused' or (button == 'read' and self.data('status') == 'done')
        caption, text = ('', '') if quiet and not self.js('return document.getElementById("box").open') else self.box()
        if screenshot:
            self.driver.save_screenshot(str(screenshot))
        if caption:
            self.answer('ok')
        return self.data('status'), caption, text

    def trace(self):
        return self.js('return document.getElementById("trace").textContent')

    def set_option(self, id, on):
        if not self.element('options').get_attribute('open'):
            self.driver.find_element(By.CSS_SELECTOR, '#options summary').click()
        box = self.element(id)
        if box.is_selected() != on:
            box.click()


def start_sim(cli, *options):
    """tolvane-cli sim with its options; its port's path, and the URL of its
    WebSocket when --websocket is among them."""
    sim = subprocess.Popen([cli, 'sim', *options], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    path = sim.stdout.readline().strip()
    url = sim.stdout.readline().strip() if '--websocket' in options else ''
    if not path.startswith('/dev/') or (url == '') == ('--websocket' in options):
        sim.kill()
        fail('tolvane-cli sim did not name its port: %r %r %s' % (path, url, sim.stderr.read()))
    return sim, path, url


def cli_run(cli, *arguments):
    start = time.monotonic()
    done = subprocess.run([cli, *arguments], capture_output=True, text=True, timeout=RUN_LIMIT_S)
    return done, time.monotonic() - start


class BridgedDevice:
    """A simulated device a page reaches by its WebSocket (url) and the
    command line by its pseudo-terminal (path), one at a time."""

    def __init__(self, cli, *options):
        self.cli = cli
        self.sim, self.path, self.url = start_sim(cli, *options, '--websocket', '0')

    def stop(self):
        self.sim.terminate()
        self.sim.wait(10)

    def holds(self, hex_file):
        """Whether the device holds the file, by the command line's verify."""
        done, _ = cli_run(self.cli, 'verify', '--port', self.path, str(hex_file))
        return done.returncode == 0, done.stdout + done.stderr


def expect_written(status, caption, text, trace):
    if status != 'done':
        fail('the write ended %s: %s: %s\n%s' % (status, caption, text, trace[-3000:]))
    if caption != 'ИНФОРМАЦИЯ' or 'только в области монитора' not in text:
        fail('unexpected verdict: %s: %s' % (caption, text))


def variant(hex_file, folder, name, change):
    """A copy of the example changed by change(lines) -> lines."""
    lines = hex_file.read_text().splitlines()
    path = folder / name
    path.write_text('\n'.join(change(lines)) + '\n')
    return path


def record(address, data, kind=0):
    body = bytes([len(data), address >> 8, address & 0xFF, kind]) + bytes(data)
    return ':' + (body + bytes([(-sum(body)) & 0xFF])).hex().upper()


def test_built_in(args):
    """The page's own simulated device: the example written and verified at
    a device's pace, the monitor area in blue, the load's trace; a Cancel in
    the middle of a write; a damaged file and one for another
    microcontroller questioned before any work."""
    page = Page(args.page.as_uri())
    ready = page.ready_seconds
    try:
        page.choose_port('built-in')
        page.open_file(args.hex)
        wait_for('the file loads', lambda: page.data('file'), 10)
        status, caption, text = page.run('write', screenshot=args.screenshot)
        expect_written(status, caption, text, page.trace())
        if page.js('return window.tolvaneCore.ccall("tolvane_built_in_device_holds_file", "number", [], [])') != 1:
            fail('the built-in device does not hold the file after the write')
        seconds = float(page.data('seconds'))
        # The monitor area (the first 1024 bytes, rows 0000-03F0) is marked in blue.
        marked = page.js('return [...document.querySelectorAll("#dump-rows .diff")].map('
                         's => s.parentNode.textContent.length && s.textContent).length')
        top = page.js('return document.getElementById("dump-rows").textContent.slice(0, 4)')
        if marked == 0 or top != '0000':
            fail('no difference marked at the top of the dump (%d marked, top %r)' % (marked, top))
        # F3 goes to the next difference, as in the window.
        page.element('view').send_keys(Keys.F3)
        page.element('view').send_keys(Keys.F3)
        if page.js('return document.querySelectorAll("#dump-rows .diff.current").length') != 1:
            fail('F3 marks no difference as the current one')
        # The trace panel shows the load's trace, in the log's colours.
        page.element('trace-toggle').click()
        if not page.element('trace-panel').is_displayed() or WRITTEN_WHOLE not in page.trace() or \
                not re.search(r'Прочитано \d+ байт', page.trace()):
            fail('the trace panel does not show the load and the write')
        if not page.js('return document.querySelector("#trace .c14") !== null'):
            fail('the trace shows no address record in its colour')

        # Cancel in the middle of a write: asked first, then stopped between two blocks.
        page.js('document.getElementById("window").dataset.status = ""')
        page.element('write').click()
        wait_for('the write is under way', lambda: 'Запись:' in page.element('progress-text').text, 30)
        page.element('cancel').click()
        caption, question = page.box()
        if (caption, question) != ('ЗАПИСЬ', 'Прервать?'):
            fail('Cancel asked %r %r' % (caption, question))
        page.answer('yes')
        wait_for('the write stops', lambda: page.data('status'), 30)
        caption, text = page.box()
        page.answer('ok')
        if page.data('status') != 'stopped' or 'Остановлено пользователем' not in page.trace():
            fail('Cancel ended the write as %s: %s: %s' % (page.data('status'), caption, text))

        # A file cut short and one for another microcontroller: each said at
        # once, and a write of it asks first; No writes nothing.
        with tempfile.TemporaryDirectory() as folder:
            folder = pathlib.Path(folder)
            cut = variant(args.hex, folder, 'cut.hex', lambda lines: lines[:len(lines) // 2])
            other = variant(args.hex, folder, 'other.hex',
                            lambda lines: lines[:-1] + [record(0, [0, 2], 4), record(0, [0x12] * 16)] + lines[-1:])
            for path, words in ((cut, 'файл может быть обрезан'), (other, 'файл может быть для другого МК')):
                page.open_file(path)
                caption, text = page.box()
                page.answer('ok')
                if caption != 'ПРЕДУПРЕЖДЕНИЕ' or words not in text:
                    fail('%s: the load said %s: %s' % (path.name, caption, text))
                page.js('document.getElementById("window").dataset.status = ""')
                page.element('write').click()
                caption, question = page.box()
                if caption != 'ПРЕДУПРЕЖДЕНИЕ' or words not in question:
                    fail('%s: the write asked %s: %s' % (path.name, caption, question))
                page.answer('no')
                wait_for('the write is refused', lambda: page.data('status'), 10)
                if page.data('status') != 'refused' or page.js('return document.getElementById("box").open'):
                    fail('%s: No to the question ended as %s' % (path.name, page.data('status')))
    finally:
        page.quit()
    folder = sum(item.stat().st_size for item in args.page.parent.iterdir())
    print('built-in device: write and verify in %.2f s; Cancel, a file cut short, another MCU: as the window; '
          'the page ready %.2f s after it was opened; its folder %d bytes' % (seconds, ready, folder))


def page_write(args, device, screenshot=None, played=None):
    """The page's write and verify of the example through the device's
    bridge; the page's own time of the run. With a list for played, the
    run's frames and the size of each one's reply are put in it."""
    page = Page(args.page.as_uri(), [device.url])
    try:
        page.choose_port('choose')
        page.open_file(args.hex)
        wait_for('the file loads', lambda: page.data('file'), 10)
        page.js('navigator.serial.frames.length = navigator.serial.heard.length = 0')
        status, caption, text = page.run('write', screenshot=screenshot)
        expect_written(status, caption, text, page.trace())
        if played is not None:
            played.extend(page.js('return navigator.serial.frames.map((f, i) => [f, navigator.serial.heard[i]])'))
        return float(page.data('seconds'))
    finally:
        page.quit()


def cli_write(args, device):
    """tolvane-cli write of the example on the same device; the command
    line's own time of the run (its record's seconds)."""
    written, _ = cli_run(args.cli, 'write', '--json', '--port', device.path, str(args.hex))
    if written.returncode != 0:
        fail('tolvane-cli write: exit %d\n%s%s' % (written.returncode, written.stdout, written.stderr))
    return json.loads(written.stdout)[0]['seconds']


def test_bridge(args):
    """The example written and verified through a bridged port at a device's
    pace; the device then holds it, by the command line's verify.
    (bench/web/page_bench.py sets its time against the command line's.)"""
    device = BridgedDevice(args.cli, *DEVICE_PACE)
    try:
        page_seconds = page_write(args, device, args.screenshot)
        held, said = device.holds(args.hex)
        if not held:
            fail('tolvane-cli verify after the page:\n' + said)
    finally:
        device.stop()
    print('bridged port: the page\'s write and verify %.2f s; the device holds the file' % page_seconds)


def test_faults(args):
    """No answer in the middle of the write, and the port closed in the
    middle of it (lost, in the browser's words): each said as the window
    says it, with what the device now holds."""
    for fault, caption_wanted, words in (
            ('no-answer@200', 'ОШИБКА ЗАПИСИ', 'прошивка в модуле неполная'),
            ('vanish@200', 'ОШИБКА ПРИ РАБОТЕ С COM-ПОРТОМ',
             'Связь с портом потеряна: NetworkError: The device has been lost.')):
        device = BridgedDevice(args.cli, *FULL_SPEED, '--fault', fault)
        try:
            page = Page(args.page.as_uri(), [device.url])
            try:
                page.choose_port('choose')
                page.open_file(args.hex)
                wait_for('the file loads', lambda: page.data('file'), 10)
                status, caption, text = page.run('write')
                lost_port = page.js('return document.getElementById("port").value')
            finally:
                page.quit()
        finally:
            device.stop()
        if status != 'link-failed' or caption != caption_wanted or words not in text or \
                'прошивка в модуле неполная' not in text:
            fail('%s: the write ended %s: %s: %s' % (fault, status, caption, text))
        if fault.startswith('vanish') and lost_port != '':
            fail('the lost port is still chosen')
        print('%s: %s: %s' % (fault, caption, text.replace('\n', ' / ')))


def test_changed_and_backup(args):
    """Only what changed, against a device that holds the file already: no
    write frame. A backup before writing another firmware, downloaded and
    written back, restores the device."""
    device = BridgedDevice(args.cli, *FULL_SPEED, '--hex', str(args.hex))
    try:
        with tempfile.TemporaryDirectory() as folder:
            other = variant(args.hex, pathlib.Path(folder), 'other.hex',
                            lambda lines: [record(0x2000, [0x55] * 16)] + lines)
            page = Page(args.page.as_uri(), [device.url])
            page.driver.execute_cdp_cmd('Browser.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': folder})
            try:
                page.choose_port('choose')
                page.open_file(args.hex)
                wait_for('the file loads', lambda: page.data('file'), 10)
                page.set_option('opt-changed', True)
                before = page.js('return navigator.serial.sent.length')
                status, caption, text = page.run('write')
                sent = page.data('blocksSent')
                # No write frame (69 bytes: attention, command, address, 64 data) crossed the port.
                frames = page.js('return navigator.serial.sent.slice(arguments[0]).filter(n => n === 69).length',
                                 before)
                if status != 'done' or sent != '0' or frames != 0:
                    fail('changed-only on an equal device: %s, %s blocks sent, %d write frames: %s'
                         % (status, sent, frames, text))
                page.set_option('opt-changed', False)
                page.set_option('opt-backup', True)
                page.open_file(other)
                wait_for('the other file loads', lambda: page.data('file') == 'other.hex', 10)
                status, caption, text = page.run('write')
                if status != 'done' or 'Резервная копия: ' not in text:
                    fail('the write with a backup: %s: %s' % (status, text))
                page.set_option('opt-backup', False)
                # The backup as the browser downloaded it, opened as a firmware and written back.
                downloads = pathlib.Path(folder)
                backup = wait_for('the backup\'s download', lambda: next(
                    (f for f in downloads.glob('*.hex') if f.name != 'other.hex'), None), 10)
                kept = page.js('return Object.values(PageStore.backups()).flat().map(b => b.name)')
                if kept != [backup.name]:
                    fail('the browser keeps %r, the download is %s' % (kept, backup.name))
                page.open_file(backup)
                wait_for('the backup loads', lambda: page.data('file') == backup.name, 10)
                status, caption, text = page.run('write')
                if status != 'done':
                    fail('writing the backup back: %s: %s' % (status, text))
                # The history: the window's columns, a row for each of the three writes.
                page.element('history').click()
                history = wait_for('the history\'s download', lambda: (downloads / 'history.csv').exists() and
                                   (downloads / 'history.csv').read_text(), 10)
                rows = list(csv.reader(io.StringIO(history)))
                header = json.loads(page.js('return window.tolvaneCore.ccall("tolvane_history_csv", "string", '
                                            '["string"], [""])')).strip()
                if ','.join(rows[0]) != header or len(rows) != 4 or \
                        [row[rows[0].index('kind')] for row in rows[1:]] != ['write'] * 3:
                    fail('the history downloaded:\n' + history)
                # A read shows the device and saves what it read as a HEX file.
                status, caption, text = page.run('read')
                if status != 'done' or not page.element('show-device').is_selected():
                    fail('the read: %s: %s' % (status, text))
                page.element('save-device').click()
                saved = wait_for('the device\'s HEX file', lambda: (downloads / 'device.hex').exists() and
                                 (downloads / 'device.hex').read_text(), 10)
                if not saved.rstrip().endswith(':00000001FF'):
                    fail('the saved device image is no HEX file:\n' + saved[-300:])
            finally:
                page.quit()
        held, said = device.holds(args.hex)
        if not held:
            fail('the backup written back did not restore the device:\n' + said)
    finally:
        device.stop()
    print('changed-only on an equal device: 0 blocks sent; a backup downloaded and written back restores the '
          'device; the history downloads with the window\'s columns; a read saves the device as HEX')


def test_firmware_list(args):
    """The site's firmware list: a file whose SHA-256 is the list's loads, one
    whose is not is refused and not loaded."""
    with tempfile.TemporaryDirectory() as folder:
        site = pathlib.Path(folder)
        for item in args.page.parent.iterdir():
            shutil.copy(item, site / item.name)
        (site / 'fw').mkdir()
        shutil.copy(args.hex, site / 'fw' / 'demo.hex')
        digest = hashlib.sha256(args.hex.read_bytes()).hexdigest()
        (site / 'firmware.json').write_text(json.dumps({'firmware': [
            {'name': 'Демо', 'version': '1.0', 'date': '2026-12-01', 'file': 'fw/demo.hex', 'sha256': digest,
             'note': 'пример'},
            {'name': 'Подменённая', 'version': '1.1', 'date': '2026-12-02', 'file': 'fw/demo.hex',
             'sha256': '0' * 64, 'note': ''}]}))
        class Quiet(http.server.SimpleHTTPRequestHandler):
            def log_message(self, *args):
                pass

        handler = functools.partial(Quiet, directory=str(site))
        server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        page = Page('http://127.0.0.1:%d/index.html' % server.server_address[1])
        try:
            wait_for('the list shows', lambda: page.element('firmware-row').is_displayed(), 10)
            Select(page.element('firmware')).select_by_index(0)
            page.element('firmware-load').click()
            wait_for('the listed file loads', lambda: page.data('file') == 'demo.hex', 10)
            if page.data('sha256') != digest:
                fail('the loaded file\'s digest is %s' % page.data('sha256'))
            Select(page.element('firmware')).select_by_index(1)
            page.element('firmware-load').click()
            caption, text = page.box()
            page.answer('ok')
            if caption != 'ОШИБКА' or 'SHA-256' not in text or page.data('file'):
                fail('a wrong digest: %s: %s (file %r)' % (caption, text, page.data('file')))
        finally:
            page.quit()
            server.shutdown()
    # A browser without Web Serial: one sentence says which browsers have it,
    # and the built-in device still writes.
    page = Page(args.page.as_uri(), serial=False)
    try:
        sentence = page.element('no-serial')
        if not sentence.is_displayed() or 'Chrome' not in sentence.text:
            fail('no sentence about Web Serial: %r' % sentence.text)
        values = page.js('return [...document.getElementById("port").options].map(o => o.value)')
        if values != ['', 'built-in']:
            fail('the port list without Web Serial: %r' % values)
        page.choose_port('built-in')
    finally:
        page.quit()
    print('firmware list: the listed file loads; a wrong SHA-256 is refused; without Web Serial: one sentence, '
          'the built-in device')


CASES = {'built-in': test_built_in, 'bridge': test_bridge, 'faults': test_faults,
         'changed-and-backup': test_changed_and_backup, 'firmware-list': test_firmware_list}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('case', choices=sorted(CASES))
    parser.add_argument('--page', type=pathlib.Path, required=True)
    parser.add_argument('--hex', type=pathlib.Path, required=True)
    parser.add_argument('--cli', default=None)
    parser.add_argument('--screenshot', type=pathlib.Path, help='the page after the run, as PNG')
    args = parser.parse_args()
    args.page = args.page.resolve()
    args.hex = args.hex.resolve()
    if not args.page.exists():
        fail('no page at %s (build the web preset)' % args.page)
    if args.case not in ('built-in', 'firmware-list') and (not args.cli or not os.access(args.cli, os.X_OK)):
        fail('no tolvane-cli at %s (build the default preset first)' % args.cli)
    CASES[args.case](args)


if __name__ == '__main__':
    main()
