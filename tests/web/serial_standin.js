// A stand-in for the browser's navigator.serial, put into the page before
// its scripts: its ports are the WebSockets (tolvane-cli sim --websocket) of
// simulated devices, and they behave as Chromium's SerialPort does where the
// page can tell: open() fails with a DOMException, a port is granted once
// requested (getPorts), a lost line errors the readable with a NetworkError
// and fires 'disconnect', an aborted writable is replaced by a new one.
(function (bridgeUrls) {
  'use strict';

  class BridgedPort extends EventTarget {
    constructor(url) {
      super();
      this._url = url;
      this._socket = null;
      this._readable = null;
      this._writable = null;
    }

    getInfo() {
      return {};
    }

    get readable() {
      return this._readable;
    }

    get writable() {
      if (!this._socket) return null;
      if (!this._writable) {
        const socket = this._socket;
        this._writable = new WritableStream({
          write: (chunk) => {
            if (socket.readyState !== WebSocket.OPEN) throw new DOMException('The device has been lost.', 'NetworkError');
            // The tests count the frames by their size; the benchmark plays
            // the frames and the replies' sizes again without the page.
            socket.send(chunk);
            serial.sent.push(chunk.byteLength);
            serial.frames.push(Array.from(chunk));
            serial.heard.push(0);
          },
          abort: () => {
            this._writable = null;
          },
        });
      }
      return this._writable;
    }

    async open(options) {
      if (!options || !(options.baudRate > 0)) throw new TypeError('A baudRate is required.');
      if (this._socket) throw new DOMException('The port is already open.', 'InvalidStateError');
      const socket = new WebSocket(this._url);
      socket.binaryType = 'arraybuffer';
      await new Promise((resolve, reject) => {
        socket.onopen = resolve;
        socket.onerror = () => reject(new DOMException('Failed to open serial port.', 'NetworkError'));
      });
      this._socket = socket;
      let source;
      this._readable = new ReadableStream({ start: (controller) => { source = controller; } });
      socket.onmessage = (event) => {
        if (serial.heard.length) serial.heard[serial.heard.length - 1] += event.data.byteLength;
        source.enqueue(new Uint8Array(event.data));
      };
      socket.onclose = () => {
        if (this._socket !== socket) return;
        try { source.error(new DOMException('The device has been lost.', 'NetworkError')); } catch (e) { /* closed */ }
        this._socket = null;
        this._readable = null;
        this._writable = null;
        this.dispatchEvent(new Event('disconnect'));
      };
    }

    async setSignals(signals) {
      if (!this._socket) throw new DOMException('The port is closed.', 'InvalidStateError');
    }

    async close() {
      if (!this._socket) throw new DOMException('The port is already closed.', 'InvalidStateError');
      const socket = this._socket;
      this._socket = null;
      this._readable = null;
      this._writable = null;
      socket.close();
    }
  }

  const ports = bridgeUrls.map((url) => new BridgedPort(url));
  const granted = [];
  const serial = new EventTarget();
  serial.sent = [];
  serial.frames = [];
  serial.heard = [];
  serial.requestPort = async () => {
    if (ports.length === 0) throw new DOMException('No port selected by the user.', 'NotFoundError');
    if (!granted.includes(ports[0])) granted.push(ports[0]);
    return ports[0];
  };
  serial.getPorts = async () => granted.slice();
  Object.defineProperty(Navigator.prototype, 'serial', { get: () => serial, configurable: true });
})(BRIDGE_URLS);
