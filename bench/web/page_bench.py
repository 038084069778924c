"""The web page's write and verify of the example against tolvane-cli write,
on the same simulated device at a device's pace (57600 baud, 2 ms a block),
in one run: the page through the device's WebSocket (tolvane-cli sim
--websocket), the command line on its pseudo-terminal. Beside it, what the
WebSocket itself costs a command: a read's round trip from plain script in
the same browser over it, and straight on the pseudo-terminal.

usage: page_bench.py [--rounds N]   (after the default and the web builds)
"""

import argparse
import os
import pathlib
import select
import statistics
import sys
import termios
import time
import tty

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / 'tests' / 'web'))
import page_test  # noqa: E402

READS = 200
# A read command of the monitor (attention, read, 24-bit address) and its reply's size.
READ = lambda address: bytes([0xCD, 0xE6, address & 0xFF, (address >> 8) & 0xFF, 0])  # noqa: E731
REPLY = 32


def open_line(path):
    """The device's line, raw, at the monitor's speed."""
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    tty.setraw(fd)
    attributes = termios.tcgetattr(fd)
    attributes[4] = attributes[5] = termios.B57600
    termios.tcsetattr(fd, termios.TCSANOW, attributes)
    return fd


def direct_reads(path):
    """Read round trips straight on the pseudo-terminal, in ms."""
    fd = open_line(path)
    times = []
    try:
        for i in range(READS):
            start = time.perf_counter()
            os.write(fd, READ(0x1000 + 32 * i))
            got = 0
            while got < REPLY:
                if not select.select([fd], [], [], 1)[0]:
                    raise RuntimeError('no reply on the line')
                got += len(os.read(fd, REPLY - got))
            times.append((time.perf_counter() - start) * 1000)
    finally:
        os.close(fd)
    return times


def socket_reads(url, page_url):
    """Read round trips from plain script in the browser over the WebSocket, in ms."""
    page = page_test.Page(page_url)
    try:
        page.driver.set_script_timeout(60)
        return page.driver.execute_async_script('''
            const [url, reads, reply, done] = arguments;
            const socket = new WebSocket(url);
            socket.binaryType = 'arraybuffer';
            const times = [];
            let start = 0, got = 0, i = 0;
            const send = () => {
              const a = 0x1000 + 32 * i;
              start = performance.now();
              got = 0;
              socket.send(new Uint8Array([0xCD, 0xE6, a & 255, (a >> 8) & 255, 0]));
            };
            socket.onopen = send;
            socket.onmessage = (event) => {
              got += event.data.byteLength;
              if (got < reply) return;
              times.push(performance.now() - start);
              if (++i < reads) send(); else { socket.close(); done(times); }
            };''', url, READS, REPLY)
    finally:
        page.quit()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--rounds', type=int, default=2)
    options = parser.parse_args()
    args = argparse.Namespace(page=ROOT / 'build-web' / 'web' / 'index.html',
                              hex=ROOT / 'examples' / 'demo-firmware.hex', cli=str(ROOT / 'build' / 'bin' / 'tolvane-cli'),
                              screenshot=None)
    ratios = []
    for round in range(options.rounds):
        device = page_test.BridgedDevice(args.cli, *page_test.DEVICE_PACE)
        try:
            page_seconds = page_test.page_write(args, device)
            cli_seconds = page_test.cli_write(args, device)
        finally:
            device.stop()
        ratios.append(page_seconds / cli_seconds)
        print('round %d: the page %.2f s, tolvane-cli write %.2f s, page / command line %.3f'
              % (round + 1, page_seconds, cli_seconds, ratios[-1]), flush=True)
    device = page_test.BridgedDevice(args.cli, *page_test.DEVICE_PACE)
    try:
        direct = direct_reads(device.path)
        bridged = socket_reads(device.url, args.page.as_uri())
    finally:
        device.stop()
    print('page / command line, median of %d rounds: %.3f' % (len(ratios), statistics.median(ratios)))
    print('a read\'s round trip: %.2f ms on the pseudo-terminal, %.2f ms from the browser over the WebSocket '
          '(medians of %d)' % (statistics.median(direct), statistics.median(bridged), READS))


if __name__ == '__main__':
    main()
