"""A serial port for a browser, over a WebSocket on 127.0.0.1: each connection
opens the pseudo-terminal of a simulated device (tolvane-cli sim) as a raw
line at the monitor's speed and moves bytes both ways until either side
closes. The page's stand-in for navigator.serial (serial_standin.js) makes a
SerialPort of each bridge."""

import asyncio
import os
import sys
import termios
import threading
import tty

import websockets


def open_line(path, baud=termios.B57600):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    tty.setraw(fd)
    attributes = termios.tcgetattr(fd)
    attributes[4] = attributes[5] = baud
    termios.tcsetattr(fd, termios.TCSANOW, attributes)
    return fd


async def serve_connection(websocket, path):
    loop = asyncio.get_running_loop()
    fd = open_line(path)
    closed = asyncio.Event()
    outgoing = bytearray()  # for the line, when it takes no more for now
    incoming = asyncio.Queue()  # from the line, sent in order by one task

    def readable():
        try:
            data = os.read(fd, 4096)
        except BlockingIOError:
            return
        except OSError:
            data = b''
        if not data:
            closed.set()
            return
        incoming.put_nowait(data)

    async def send():
        while True:
            await websocket.send(await incoming.get())

    def flush():
        while outgoing:
            try:
                n = os.write(fd, outgoing)
            except BlockingIOError:
                return
            except OSError:
                closed.set()
                return
            del outgoing[:n]
        loop.remove_writer(fd)

    loop.add_reader(fd, readable)
    try:
        async def receive():
            async for message in websocket:
                waiting = bool(outgoing)
                outgoing.extend(message if isinstance(message, bytes) else message.encode())
                if not waiting:
                    flush()
                    if outgoing:
                        loop.add_writer(fd, flush)
            closed.set()

        tasks = [asyncio.ensure_future(receive()), asyncio.ensure_future(send())]
        await closed.wait()
        for task in tasks:
            task.cancel()
    finally:
        loop.remove_reader(fd)
        loop.remove_writer(fd)
        os.close(fd)
        await websocket.close()


class Bridge:
    """A bridge served from a thread of its own; url is ws://127.0.0.1:PORT."""

    def __init__(self, pty_path):
        self.url = None
        self._ready = threading.Event()
        self._loop = asyncio.new_event_loop()
        self._thread = threading.Thread(target=self._run, args=(pty_path,), daemon=True)
        self._thread.start()
        if not self._ready.wait(10):
            raise RuntimeError('the bridge did not start')

    def _run(self, pty_path):
        asyncio.set_event_loop(self._loop)

        async def main():
            self._stop = asyncio.Event()
            async with websockets.serve(lambda ws: serve_connection(ws, pty_path), '127.0.0.1', 0,
                                        compression=None, max_size=None) as server:
                port = next(iter(server.sockets)).getsockname()[1]
                self.url = 'ws://127.0.0.1:%d' % port
                self._ready.set()
                await self._stop.wait()

        self._loop.run_until_complete(main())

    def stop(self):
        self._loop.call_soon_threadsafe(self._stop.set)
        self._thread.join(10)


if __name__ == '__main__':
    if len(sys.argv) != 2:
        sys.exit('usage: serial_bridge.py /dev/pts/N')
    bridge = Bridge(sys.argv[1])
    print(bridge.url, flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        bridge.stop()
