// The page: moves files, clicks and bytes between the browser and the core
// (tolvane-core.js). Every rule of the device, the file and the messages is
// the core's; this only shows what it says.
(function () {
  'use strict';
  const $ = (id) => document.getElementById(id);
  const kStatusDone = 0;

  let core = null;
  let running = false;
  let fileLoaded = false;

  function showButtons() {
    const ready = core !== null && fileLoaded && !running;
    $('write-built-in').disabled = !ready;
    $('write-port').disabled = !ready || !('serial' in navigator);
    // The core runs one thing at a time: no new file while it writes one.
    $('hex-file').disabled = running;
  }

  function log(line) {
    const pane = $('log');
    pane.textContent += line;
    if (pane.textContent.length > 200000) pane.textContent = pane.textContent.slice(-100000);
  }

  const handlers = {
    onLog: log,
    onPhase(phase, blocks) {
      $('phase').textContent = phase + ' (' + blocks + ')';
    },
    onProgress(done, total) {
      $('progress').max = total;
      $('progress').value = done;
    },
    onOutcome(caption, text, error) {
      $('outcome-caption').textContent = caption;
      $('outcome-text').textContent = text;
      $('outcome').dataset.error = error ? '1' : '0';
    },
    onRunEnded(result) {
      $('run-summary').textContent = 'Итог: ' + result.status + ', блоков отправлено ' + result.blocksSent +
        ', защищено ' + result.blocksProtected + ', ' + result.seconds.toFixed(2) + ' с';
      $('outcome').dataset.seconds = String(result.seconds);
      $('outcome').dataset.status = result.status;
    },
    print: log,
    printErr: log,
  };

  async function run(target) {
    running = true;
    showButtons();
    $('outcome').dataset.state = 'running';
    $('outcome').dataset.status = '';
    $('outcome-caption').textContent = '';
    $('outcome-text').textContent = '';
    $('run-summary').textContent = '';
    const status = await core.ccall('tolvane_write_device', 'number', ['number'], [target], { async: true });
    $('outcome').dataset.state = status === kStatusDone ? 'done' : 'error';
    running = false;
    showButtons();
  }

  $('hex-file').addEventListener('change', async (event) => {
    const file = event.target.files[0];
    if (!file || !core) return;
    const text = await file.text();
    const stored = core.ccall('tolvane_load_hex', 'number', ['string'], [text]);
    $('loaded').textContent = file.name + ': ' + stored + ' байт';
    $('loaded').dataset.bytes = String(stored);
    fileLoaded = true;
    showButtons();
  });

  $('write-built-in').addEventListener('click', () => run(0));

  $('write-port').addEventListener('click', async () => {
    let port;
    try {
      // A port this page was given before is used again; otherwise the
      // browser asks the user for one on this click.
      const granted = await navigator.serial.getPorts();
      port = granted.length === 1 ? granted[0] : await navigator.serial.requestPort();
    } catch (error) {
      handlers.onOutcome('ПОРТ НЕ ВЫБРАН', error.message, true);
      return;
    }
    core.serialLine.use(port);
    await run(1);
  });

  if (!('serial' in navigator)) {
    $('support').textContent = 'Этот браузер не даёт доступа к последовательным портам (Web Serial): ' +
      'доступно только встроенное устройство.';
  }

  TolvaneCore(handlers).then((module) => {
    core = module;
    window.tolvaneCore = module;  // for the page's tests
    document.body.dataset.ready = '1';
    showButtons();
  });
})();
