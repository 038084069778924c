"""A serial port for a browser, over a WebSocket on 127.0.0.1: each connection
opens the pseudo-terminal of a simulated device (tolvane-cli sim) as a raw
line at the monitor's speed and moves bytes both ways until either side
closes. The page's stand-in for navigator.serial (serial_standin.js) makes a
SerialPort of each bridge.

The WebSocket (RFC 6455: binary frames, close, ping) is served by hand over
plain sockets, one thread per connection waiting in select(): a bridge adds
its latency to every command of a run, and a general server library's event
loop adds several hops to each message."""

import base64
import hashlib
import os
import select
import socket
import struct
import sys
import termios
import threading
import tty

GUID = b'258EAFA5-E914-47DA-95CA-C5AB0DC85B11'


def open_line(path, baud=termios.B57600):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    tty.setraw(fd)
    attributes = termios.tcgetattr(fd)
    attributes[4] = attributes[5] = baud
    termios.tcsetattr(fd, termios.TCSANOW, attributes)
    return fd


def handshake(connection):
    """Reads the upgrade request and accepts it; False when it is none."""
    request = b''
    while b'\r\n\r\n' not in request:
        data = connection.recv(4096)
        if not data:
            return False
        request += data
    key = None
    for line in request.split(b'\r\n'):
        name, _, value = line.partition(b':')
        if name.strip().lower() == b'sec-websocket-key':
            key = value.strip()
    if key is None:
        connection.sendall(b'HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n')
        return False
    accept = base64.b64encode(hashlib.sha1(key + GUID).digest())
    connection.sendall(b'HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n'
                       b'Sec-WebSocket-Accept: ' + accept + b'\r\n\r\n')
    return True


def frame(opcode, payload=b''):
    """A server's frame: final, unmasked."""
    size = len(payload)
    if size < 126:
        head = struct.pack('!BB', 0x80 | opcode, size)
    elif size < 65536:
        head = struct.pack('!BBH', 0x80 | opcode, 126, size)
    else:
        head = struct.pack('!BBQ', 0x80 | opcode, 127, size)
    return head + payload


class Frames:
    """The client's frames out of the bytes received, unmasked."""

    def __init__(self):
        self.buffer = bytearray()

    def feed(self, data):
        self.buffer += data
        frames = []
        while len(self.buffer) >= 2:
            opcode = self.buffer[0] & 0x0F
            size = self.buffer[1] & 0x7F
            at = 2
            if size == 126:
                if len(self.buffer) < 4:
                    break
                size = struct.unpack_from('!H', self.buffer, 2)[0]
                at = 4
            elif size == 127:
                if len(self.buffer) < 10:
                    break
                size = struct.unpack_from('!Q', self.buffer, 2)[0]
                at = 10
            masked = self.buffer[1] & 0x80
            mask = self.buffer[at:at + 4] if masked else b'\0\0\0\0'
            at += 4 if masked else 0
            if len(self.buffer) < at + size:
                break
            payload = bytes(b ^ mask[i & 3] for i, b in enumerate(self.buffer[at:at + size]))
            del self.buffer[:at + size]
            frames.append((opcode, payload))
        return frames


def serve_connection(connection, pty_path, stopping):
    connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    if not handshake(connection):
        connection.close()
        return
    fd = open_line(pty_path)
    frames = Frames()
    outgoing = bytearray()  # for the line, when it takes no more for now
    try:
        while not stopping.is_set():
            writers = [fd] if outgoing else []
            readable, writable, _ = select.select([connection, fd], writers, [], 0.2)
            if fd in readable:
                try:
                    data = os.read(fd, 4096)
                except BlockingIOError:
                    data = None
                except OSError:
                    data = b''
                if data == b'':
                    break  # the device's line is gone: the browser sees the socket close
                if data:
                    connection.sendall(frame(0x2, data))
            if connection in readable:
                data = connection.recv(65536)
                if not data:
                    break
                for opcode, payload in frames.feed(data):
                    if opcode == 0x8:
                        connection.sendall(frame(0x8, payload[:2]))
                        return
                    if opcode == 0x9:
                        connection.sendall(frame(0xA, payload))
                    elif opcode in (0x0, 0x1, 0x2):
                        outgoing += payload
            if outgoing:
                try:
                    del outgoing[:os.write(fd, outgoing)]
                except BlockingIOError:
                    pass
                except OSError:
                    break
    except OSError:
        pass
    finally:
        os.close(fd)
        connection.close()


class Bridge:
    """A bridge served from a thread of its own; url is ws://127.0.0.1:PORT."""

    def __init__(self, pty_path):
        self._listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._listener.bind(('127.0.0.1', 0))
        self._listener.listen(4)
        self.url = 'ws://127.0.0.1:%d' % self._listener.getsockname()[1]
        self._stopping = threading.Event()
        self._connections = []
        self._thread = threading.Thread(target=self._accept, args=(pty_path,), daemon=True)
        self._thread.start()

    def _accept(self, pty_path):
        while not self._stopping.is_set():
            readable, _, _ = select.select([self._listener], [], [], 0.2)
            if not readable:
                continue
            connection, _ = self._listener.accept()
            worker = threading.Thread(target=serve_connection, args=(connection, pty_path, self._stopping),
                                      daemon=True)
            worker.start()
            self._connections.append(worker)

    def stop(self):
        """Closes every connection and the line behind it."""
        self._stopping.set()
        self._thread.join(10)
        for worker in self._connections:
            worker.join(10)
        self._listener.close()


if __name__ == '__main__':
    if len(sys.argv) != 2:
        sys.exit('usage: serial_bridge.py /dev/pts/N')
    bridge = Bridge(sys.argv[1])
    print(bridge.url, flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        bridge.stop()
