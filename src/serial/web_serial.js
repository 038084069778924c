// The page's serial line over the browser's Web Serial API: it owns the
// SerialPort the page chose, keeps a reader filling a receive queue, writes
// through the writable stream and lets a timed read wait on the event loop.
// It only moves bytes; OWebSerialPort (web_serial_port.cpp) is the port the
// core sees. A failure is kept as "Name\nmessage", the browser's own words.
// A text for C++ in memory the heap owns (freed by the caller), in UTF-8;
// none (0) for no text.
function tolvaneSerialText(text) {
  if (!text) return 0;
  const size = lengthBytesUTF8(text) + 1;
  const pointer = _malloc(size);
  stringToUTF8(text, pointer, size);
  return pointer;
}

Module['serialLine'] = (function () {
  // Errors after which the port's readable is replaced and reading goes on:
  // the line's errors, counted for ClearLineErrors.
  const kLineErrors = ['BreakError', 'FramingError', 'ParityError', 'BufferOverrunError'];
  // The browser's receive buffer: a reply of the monitor is far smaller, and
  // a larger one rides out a busy page.
  const kBufferSize = 16384;

  const line = {
    port: null,       // the SerialPort chosen by the page
    opened: false,
    reader: null,
    writer: null,
    chunks: [],       // received and not yet taken, oldest first
    head: 0,          // bytes of chunks[0] already taken
    count: 0,         // bytes waiting in chunks
    pending: 0,       // bytes handed to the writer whose write has not ended
    generation: 0,    // writes of an earlier generation were discarded
    lineErrors: 0,    // line errors since the last look
    failure: null,    // the port is lost: "Name\nmessage"
    writeFailure: null,
    waiter: null,     // a timed read waiting: { wanted, endMs, done }
    timer: null,      // ends a waiter whose time is up
    timerAtMs: 0,     // when it fires
  };

  function describe(error, fallbackName) {
    const name = (error && error.name) || fallbackName || 'Error';
    const message = (error && error.message) || String(error || '');
    return name + '\n' + message;
  }

  function wakeWaiter() {
    if (line.waiter && (line.count >= line.waiter.wanted || line.failure)) line.waiter.done();
  }

  function setTimer(atMs) {
    if (line.timer) clearTimeout(line.timer);
    line.timerAtMs = atMs;
    line.timer = setTimeout(checkTime, Math.max(0, atMs - performance.now()));
  }

  function checkTime() {
    line.timer = null;
    const waiter = line.waiter;
    if (!waiter) return;
    if (performance.now() >= waiter.endMs) waiter.done();
    else setTimer(waiter.endMs);
  }

  function lose(reason) {
    if (!line.failure) line.failure = reason;
    wakeWaiter();
  }

  function onDisconnect() {
    lose('NetworkError\nThe device has been lost.');
  }

  async function pump(port) {
    while (line.opened && line.port === port && port.readable) {
      const reader = port.readable.getReader();
      line.reader = reader;
      try {
        for (;;) {
          const { value, done } = await reader.read();
          if (done) return;  // the reader was cancelled: the port closes
          if (value && value.length) {
            line.chunks.push(value);
            line.count += value.length;
            wakeWaiter();
          }
        }
      } catch (error) {
        if (kLineErrors.includes(error && error.name)) {
          line.lineErrors++;
          continue;  // a new readable stands in for the old one
        }
        if (line.opened) lose(describe(error, 'NetworkError'));
        return;
      } finally {
        line.reader = null;
        try { reader.releaseLock(); } catch (e) { /* already released */ }
      }
    }
    if (line.opened && !line.failure) lose('NetworkError\nThe port can no longer be read.');
  }

  function reset() {
    line.chunks = [];
    line.head = 0;
    line.count = 0;
    line.pending = 0;
    line.lineErrors = 0;
    line.failure = null;
    line.writeFailure = null;
    line.waiter = null;
    line.generation++;
  }

  return {
    // The port to open next: from navigator.serial.requestPort() on a click,
    // or one of navigator.serial.getPorts().
    use(port) {
      line.port = port;
    },
    chosen() {
      return line.port !== null;
    },

    async open(baudRate) {
      if (!line.port) return 'NotFoundError\nNo serial port has been chosen.';
      const port = line.port;
      reset();
      try {
        await port.open({ baudRate, dataBits: 8, stopBits: 1, parity: 'none', flowControl: 'none', bufferSize: kBufferSize });
      } catch (error) {
        return describe(error, 'NetworkError');
      }
      try {
        // As the desktop's port: RTS on, DTR off.
        await port.setSignals({ requestToSend: true, dataTerminalReady: false });
      } catch (error) {
        // A port without the control lines still carries the bytes.
      }
      line.opened = true;
      port.addEventListener('disconnect', onDisconnect);
      line.writer = port.writable.getWriter();
      pump(port);
      return '';
    },

    async close() {
      if (!line.opened) return;
      const port = line.port;
      line.opened = false;
      port.removeEventListener('disconnect', onDisconnect);
      try { if (line.reader) await line.reader.cancel(); } catch (e) { /* gone already */ }
      try { if (line.writer) { line.writer.releaseLock(); } } catch (e) { /* gone already */ }
      line.writer = null;
      try { await port.close(); } catch (e) { /* gone already */ }
      lose('InvalidStateError\nThe port is closed.');
    },

    // Queues bytes for sending; a failure of an earlier write is said now.
    write(pointer, count) {
      if (line.failure) return line.failure;
      if (line.writeFailure) return line.writeFailure;
      if (!line.writer) return 'InvalidStateError\nThe port is not writable.';
      const bytes = HEAPU8.slice(pointer, pointer + count);
      const generation = line.generation;
      line.pending += count;
      line.writer.write(bytes).then(
        () => { if (generation === line.generation) line.pending -= count; },
        (error) => {
          if (generation !== line.generation) return;  // discarded on purpose
          line.pending -= count;
          line.writeFailure = describe(error, 'NetworkError');
        });
      return '';
    },

    pending() {
      return line.pending;
    },

    // Drops what is queued for sending and not yet written.
    async discard() {
      if (!line.writer || line.pending === 0) return;
      line.generation++;
      line.pending = 0;
      const writer = line.writer;
      line.writer = null;
      try { await writer.abort(); } catch (e) { /* the stream was failing anyway */ }
      try { writer.releaseLock(); } catch (e) { /* released by the abort */ }
      if (line.opened && line.port.writable) line.writer = line.port.writable.getWriter();
    },

    // Takes up to max received bytes into the heap; the count taken.
    take(pointer, max) {
      let taken = 0;
      while (taken < max && line.chunks.length > 0) {
        const chunk = line.chunks[0];
        const n = Math.min(max - taken, chunk.length - line.head);
        HEAPU8.set(chunk.subarray(line.head, line.head + n), pointer + taken);
        taken += n;
        line.head += n;
        if (line.head === chunk.length) {
          line.chunks.shift();
          line.head = 0;
        }
      }
      line.count -= taken;
      return taken;
    },

    // Resolves once wanted bytes are waiting, the port is lost, or after
    // timeoutMs. One timer serves the waits one after another: a reply
    // nearly always ends a wait long before its time, and a timer set and
    // cleared for every command would cost each of them.
    wait(wanted, timeoutMs) {
      if (line.count >= wanted || line.failure || timeoutMs <= 0) return Promise.resolve();
      return new Promise((resolve) => {
        const waiter = {
          wanted,
          endMs: performance.now() + timeoutMs,
          done() {
            if (line.waiter === waiter) line.waiter = null;
            resolve();
          },
        };
        line.waiter = waiter;
        if (!line.timer || waiter.endMs < line.timerAtMs) setTimer(waiter.endMs);
      });
    },

    // The line errors since the last call.
    takeLineErrors() {
      const n = line.lineErrors;
      line.lineErrors = 0;
      return n;
    },

    failure() {
      return line.failure || '';
    },
  };
})();
