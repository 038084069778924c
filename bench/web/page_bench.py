"""The web page's write and verify of the example against tolvane-cli write,
on the same simulated device at a device's pace (57600 baud, 2 ms a block),
in one run: the page through the device's WebSocket (tolvane-cli sim
--websocket), the command line on its pseudo-terminal. Beside them, the
bridge alone: the page's own frames played again by plain script in the same
browser over the same WebSocket, each sent once the reply before it is
whole. What the page takes beyond that is its own cost; what that takes
beyond the command line is the browser's WebSocket.

usage: page_bench.py [--rounds N]   (after the default and the web builds)
"""

import argparse
import pathlib
import statistics
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / 'tests' / 'web'))
import page_test  # noqa: E402

# The link's pause between its two synchronisation bytes, neither of which
# gets a reply.
SYNC_PAUSE_MS = 10


def bridge_alone(url, page_url, played):
    """The frames of a page's run, each with the size of its reply, played
    again over the WebSocket by plain script; its time in s."""
    page = page_test.Page(page_url)
    try:
        page.driver.set_script_timeout(page_test.RUN_LIMIT_S)
        return page.driver.execute_async_script('''
            const [url, played, pauseMs, done] = arguments;
            const socket = new WebSocket(url);
            socket.binaryType = 'arraybuffer';
            let i = 0, heard = 0, start = 0;
            const next = () => {
              if (++i === played.length) {
                socket.close();
                done((performance.now() - start) / 1000);
              } else {
                send();
              }
            };
            const send = () => {
              const [frame, reply] = played[i];
              heard = 0;
              socket.send(new Uint8Array(frame));
              if (reply === 0) setTimeout(next, i + 1 < played.length && played[i + 1][1] === 0 ? pauseMs : 0);
            };
            socket.onopen = () => {
              start = performance.now();
              send();
            };
            socket.onmessage = (event) => {
              heard += event.data.byteLength;
              if (played[i][1] > 0 && heard >= played[i][1]) next();
            };''', url, played, SYNC_PAUSE_MS)
    finally:
        page.quit()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--rounds', type=int, default=2)
    options = parser.parse_args()
    args = argparse.Namespace(page=ROOT / 'build-web' / 'web' / 'index.html',
                              hex=ROOT / 'examples' / 'demo-firmware.hex', cli=str(ROOT / 'build' / 'bin' / 'tolvane-cli'),
                              screenshot=None)
    ratios, own = [], []
    for round in range(options.rounds):
        device = page_test.BridgedDevice(args.cli, *page_test.DEVICE_PACE)
        played = []
        try:
            # Taking turns at going first: neither side always finds the
            # machine as the other left it.
            if round % 2:
                cli_seconds = page_test.cli_write(args, device)
                page_seconds = page_test.page_write(args, device, played=played)
            else:
                page_seconds = page_test.page_write(args, device, played=played)
                cli_seconds = page_test.cli_write(args, device)
            bridge_seconds = bridge_alone(device.url, args.page.as_uri(), played)
        finally:
            device.stop()
        ratios.append(page_seconds / cli_seconds)
        own.append(page_seconds / bridge_seconds)
        print('round %d: the page %.2f s, tolvane-cli write %.2f s, the bridge alone %.2f s (%d frames); '
              'page / command line %.3f, bridge alone / command line %.3f, page / bridge alone %.3f'
              % (round + 1, page_seconds, cli_seconds, bridge_seconds, len(played), ratios[-1],
                 bridge_seconds / cli_seconds, own[-1]), flush=True)
    print('medians of %d rounds: page / command line %.3f, page / bridge alone %.3f'
          % (len(ratios), statistics.median(ratios), statistics.median(own)))


if __name__ == '__main__':
    main()
