"""The web page's write and verify of the example against tolvane-cli write,
on the same simulated device at a device's pace (57600 baud, 2 ms a block),
in one run: the page through a WebSocket bridge of the tests, the command
line on the device's pseudo-terminal. Beside it, what the bridge itself
costs a command: a read's round trip from plain script in the same browser
over the same bridge, and straight on the pseudo-terminal.

usage: page_bench.py [--rounds N]   (after the default and the web builds)
"""

import argparse
import os
import pathlib
import select
import statistics
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / 'tests' / 'web'))
import page_test  # noqa: E402
from serial_bridge import open_line  # noqa: E402

READS = 200
# A read command of the monitor (attention, read, 24-bit address) and its reply's size.
READ = lambda address: bytes([0xCD, 0xE6, address & 0xFF, (address >> 8) & 0xFF, 0])  # noqa: E731
REPLY = 32


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


def bridged_reads(url, page_url):
    """Read round trips from plain script in the browser over the bridge, in ms."""
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
    sim, path = page_test.start_sim(args.cli, *page_test.DEVICE_PACE)
    try:
        direct = direct_reads(path)
        bridge = page_test.Bridge(path)
        try:
            bridged = bridged_reads(bridge.url, args.page.as_uri())
        finally:
            bridge.stop()
    finally:
        sim.terminate()
        sim.wait(10)
    print('page / command line, median of %d rounds: %.3f' % (len(ratios), statistics.median(ratios)))
    print('a read\'s round trip: %.2f ms on the pseudo-terminal, %.2f ms from the browser over the bridge '
          '(medians of %d)' % (statistics.median(direct), statistics.median(bridged), READS))


if __name__ == '__main__':
    main()
