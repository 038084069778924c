// The page: moves files, clicks and bytes between the browser and the core
// (tolvane-core.js, the desktop's C++ core as WebAssembly). Every rule of the
// device, the file, the comparison and the messages is the core's; this only
// shows what it says, as the desktop window shows it.
(function () {
  'use strict';
  const $ = (id) => document.getElementById(id);
  const dialogs = window.PageDialogs;
  const store = window.PageStore;

  // The port list's values.
  const kBuiltIn = 'built-in';
  const kChoose = 'choose';
  // Run kinds as tolvane_run takes them.
  const kRun = { read: 0, verify: 1, write: 2, run: 3 };
  // How often the line is tended between runs (capture bursts, receive tick).
  const kIdleMs = 5;
  // The trace panel keeps this many characters.
  const kTraceKept = 400000;

  let core = null;
  let texts = null;
  let busy = false;          // a run or a port change has the core
  let running = null;        // the kind of the run going on
  let stopAsked = false;
  let fileLoaded = false;
  let deviceRead = false;    // the device image is one whole read
  let view = 'instruction';
  const serialPorts = [];    // the Web Serial ports the browser granted, in list order
  let dumpView = null;

  // The core, one call at a time: a call waiting on the event loop must end
  // before the next begins.
  let chain = Promise.resolve();
  function call(name, types, args) {
    const result = chain.then(() => core.ccall(name, 'string', types || [], args || [], { async: true }))
      .then((text) => JSON.parse(text));
    chain = result.catch(() => {});
    return result;
  }

  // ---- the trace ----------------------------------------------------------
  const traceQueue = [];
  function addTrace(spans) {
    traceQueue.push(spans);
    if (traceQueue.length === 1) requestAnimationFrame(flushTrace);
  }
  function flushTrace() {
    const pane = $('trace');
    const fragment = document.createDocumentFragment();
    for (const spans of traceQueue.splice(0)) {
      for (const [color, text] of spans) {
        const span = document.createElement('span');
        span.className = 'c' + (color & 15);
        span.textContent = text;
        fragment.appendChild(span);
      }
    }
    pane.appendChild(fragment);
    while (pane.textContent.length > kTraceKept && pane.firstChild) pane.removeChild(pane.firstChild);
    const panel = $('trace-panel');
    panel.scrollTop = panel.scrollHeight;
  }

  // ---- what the window shows ---------------------------------------------
  function setStatus(text) {
    $('status').value = text;
    $('status').setSelectionRange(0, 0);
  }

  function showButtons() {
    const idle = core !== null && !busy;
    for (const id of ['open', 'write', 'verify', 'read', 'run', 'port', 'capture', 'firmware', 'firmware-load',
      'help', 'history', 'save-device']) {
      $(id).disabled = !idle;
    }
    $('save-device').disabled = !idle || !deviceRead;
    for (const input of $('options').querySelectorAll('input')) input.disabled = !idle;
    $('views').hidden = !!running;
    $('busy').hidden = !running;
  }

  async function showView(which) {
    view = which;
    $('show-' + which).checked = true;
    $('instruction').hidden = which !== 'instruction';
    $('dump').hidden = which === 'instruction';
    if (which !== 'instruction') dumpView.show(await call('tolvane_dump', ['string'], [which]));
  }

  function showInstruction() {
    const pane = $('instruction');
    pane.textContent = '';
    texts.instruction.forEach((line, i) => {
      const part = document.createElement(i === 0 ? 'b' : 'span');
      part.textContent = line.replace(/\r\n/g, '\n');
      pane.appendChild(part);
    });
  }

  function showHeader() {
    $('title').textContent = texts.title;
    const header = $('header-text');
    for (const piece of texts.pieces) {
      const part = document.createElement(piece.url ? 'a' : 'span');
      part.textContent = piece.text;
      if (piece.url) {
        part.href = piece.url;
        part.target = '_blank';
        part.rel = 'noopener';
      }
      header.appendChild(part);
    }
    const home = document.createElement('a');
    home.href = texts.home;
    home.target = '_blank';
    home.rel = 'noopener';
    home.textContent = texts.home;
    header.appendChild(home);
  }

  function message(outcome) {
    return dialogs.message(outcome.caption, outcome.text, outcome.icon);
  }

  // ---- the port list -----------------------------------------------------
  function portLabel(port, index) {
    const info = port.getInfo ? port.getInfo() : {};
    const hex = (n) => n.toString(16).toUpperCase().padStart(4, '0');
    const usb = info.usbVendorId !== undefined ? ' (USB ' + hex(info.usbVendorId) + ':' + hex(info.usbProductId) + ')'
      : '';
    return 'Порт ' + (index + 1) + usb;
  }

  function fillPortList(selected) {
    const list = $('port');
    list.textContent = '';
    const add = (value, text) => {
      const option = document.createElement('option');
      option.value = value;
      option.textContent = text;
      list.appendChild(option);
    };
    add('', 'не выбран');
    add(kBuiltIn, texts.builtInDevice);
    serialPorts.forEach((port, i) => add('serial:' + i, portLabel(port, i)));
    if ('serial' in navigator) add(kChoose, 'Выбрать порт…');
    list.value = selected || '';
  }

  async function refreshPorts() {
    if (!('serial' in navigator)) return;
    const granted = await navigator.serial.getPorts();
    const selected = $('port').value;
    const chosenPort = selected.startsWith('serial:') ? serialPorts[+selected.slice(7)] : null;
    serialPorts.length = 0;
    serialPorts.push(...granted);
    const index = chosenPort ? serialPorts.indexOf(chosenPort) : -1;
    fillPortList(chosenPort ? (index >= 0 ? 'serial:' + index : '') : selected);
  }

  let selectedValue = '';
  async function selectPort(value) {
    if (value === kChoose) {
      let port;
      try {
        port = await navigator.serial.requestPort();
      } catch (error) {
        fillPortList(selectedValue);  // the user closed the browser's chooser
        return;
      }
      let index = serialPorts.indexOf(port);
      if (index < 0) {
        serialPorts.push(port);
        index = serialPorts.length - 1;
      }
      value = 'serial:' + index;
      fillPortList(value);
    }
    busy = true;
    showButtons();
    let answer;
    if (value.startsWith('serial:')) {
      const index = +value.slice(7);
      core.serialLine.use(serialPorts[index]);
      answer = await call('tolvane_select_port', ['number', 'string'], [2, portLabel(serialPorts[index], index)]);
    } else if (value === kBuiltIn) {
      answer = await call('tolvane_select_port', ['number', 'string'], [1, 'sim']);
    } else {
      answer = await call('tolvane_select_port', ['number', 'string'], [0, '']);
    }
    busy = false;
    selectedValue = answer.open ? value : '';
    fillPortList(selectedValue);
    setStatus(answer.status);
    showButtons();
    if (answer.error) await dialogs.message(answer.error.caption, answer.error.text, 'error');
  }

  // ---- the line between runs ---------------------------------------------
  async function idle() {
    if (busy || !core || !selectedValue || dialogs.open()) return;
    busy = true;
    let answer;
    try {
      answer = await call('tolvane_idle', ['number'], [$('capture').checked ? 1 : 0]);
    } finally {
      busy = false;
    }
    if (answer.status) setStatus(answer.status);
    if (answer.lost) {
      selectedValue = '';
      fillPortList('');
      setStatus(answer.lost.text.split('\n')[0]);
      showButtons();
      await message(answer.lost);
    }
  }

  // ---- files -------------------------------------------------------------
  let fileCount = 0;
  async function loadBytes(name, bytes) {
    if (busy || !core) return null;
    busy = true;
    showButtons();
    // Each file gets a name of its own in the core's memory: the load reads it whole.
    const path = '/files/' + (++fileCount) + '/' + name.replace(/[\\/]/g, '_');
    core.FS.mkdirTree(path.slice(0, path.lastIndexOf('/')));
    if (typeof bytes === 'number') {
      // Only its size: the core refuses it for that.
      core.FS.writeFile(path, new Uint8Array(0));
      core.FS.truncate(path, bytes);
    } else {
      core.FS.writeFile(path, bytes);
    }
    let answer;
    try {
      answer = await call('tolvane_open_file', ['string'], [path]);
    } finally {
      core.FS.unlink(path);
      busy = false;
      showButtons();
    }
    await showLoad(answer);
    return answer;
  }

  // What a load left: the file's name, size and digest, the file's view, and
  // the core's notice about it.
  async function showLoad(answer) {
    fileLoaded = answer.loaded;
    document.title = (answer.loaded ? answer.name + ' — ' : '') + texts.windowTitle;
    $('window').dataset.file = answer.loaded ? answer.name : '';
    $('window').dataset.sha256 = answer.sha256 || '';
    $('window').dataset.fileState = answer.state;
    $('file-summary').textContent = answer.loaded ? answer.name + ': ' + answer.bytes + ' байт, SHA-256 ' +
      answer.sha256 : '';
    await showView('file');
    if (answer.notice) await dialogs.message(answer.notice.caption, answer.notice.text, answer.notice.icon);
  }

  async function loadFile(file) {
    if (!file) return;
    if (file.size > texts.maxFileBytes) {
      await loadBytes(file.name, file.size);
      return;
    }
    let bytes;
    try {
      bytes = new Uint8Array(await file.arrayBuffer());
    } catch (error) {
      // The browser could not read it (gone, no permission): the core says so as of an unreadable file.
      await showLoad(await call('tolvane_unreadable_file', ['string', 'string'], [file.name, error.message]));
      return;
    }
    await loadBytes(file.name, bytes);
  }

  // ---- runs --------------------------------------------------------------
  function choices() {
    return {
      wait: $('opt-wait').checked,
      changedOnly: $('opt-changed').checked,
      backup: $('opt-backup').checked,
      keepData: $('opt-keep').checked,
      keepRanges: $('opt-ranges').value,
    };
  }

  function download(name, text, type) {
    const url = URL.createObjectURL(new Blob([text], { type: type || 'application/octet-stream' }));
    const link = document.createElement('a');
    link.href = url;
    link.download = name;
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
  }

  async function startRun(kind) {
    if (busy || !core) return;
    busy = true;
    running = kind;
    stopAsked = false;
    $('cancel').disabled = false;
    $('progress').removeAttribute('value');
    $('progress-text').textContent = '';
    $('waiting').hidden = true;
    $('progress-box').hidden = false;
    $('window').dataset.run = kind;
    $('window').dataset.status = '';
    showButtons();
    $('cancel').focus();
    if (kind !== 'run') deviceRead = false;
    let answer;
    try {
      answer = await call('tolvane_run', ['number', 'string'], [kRun[kind], JSON.stringify(choices())]);
    } finally {
      busy = false;
      running = null;
      showButtons();
    }
    if (kind !== 'run') deviceRead = answer.deviceImageRead;
    showButtons();
    if (answer.status === 'done' && kind === 'read') await showView('device');
    if (answer.portLost) {
      selectedValue = '';
      fillPortList('');
    }
    if (answer.portStatus) setStatus(answer.portStatus);
    let historyLost = '';
    if (answer.record) historyLost = store.addRecord(answer.record);
    $('window').dataset.status = answer.status;
    $('window').dataset.seconds = String(answer.seconds || 0);
    $('window').dataset.blocksSent = String(answer.blocksSent || 0);
    if (answer.verdict) await message(answer.verdict);
    if (historyLost) await dialogs.message('ЖУРНАЛ ОПЕРАЦИЙ', 'Запись в журнал операций не сохранена:\n' + historyLost, 'warning');
    if (answer.status === 'stopped') addTrace([[7, 'Остановлено пользователем\n']]);
    if (kind === 'write' || kind === 'verify') $(kind).focus();
    return answer;
  }

  async function cancelRun() {
    if (!running) return;
    // A write or a verify is not stopped by a stray key: asked first, No by default.
    if (running === 'write' || running === 'verify') {
      const yes = await dialogs.ask(running === 'write' ? 'ЗАПИСЬ' : 'ВЕРИФИКАЦИЯ', 'Прервать?', true);
      if (!yes || !running) return;
    }
    stopAsked = true;
    $('cancel').disabled = true;
  }

  // ---- backups and history -----------------------------------------------
  function showBackups() {
    const pane = $('backups');
    pane.textContent = '';
    const all = store.backups();
    for (const device of Object.keys(all)) {
      for (const backup of all[device]) {
        const line = document.createElement('div');
        const save = document.createElement('a');
        save.href = '#';
        save.textContent = backup.name;
        save.addEventListener('click', (event) => {
          event.preventDefault();
          download(backup.name, backup.text);
        });
        const open = document.createElement('button');
        open.type = 'button';
        open.textContent = 'Открыть как файл прошивки';
        open.addEventListener('click', () => loadBytes(backup.name, new TextEncoder().encode(backup.text)));
        line.append('Резервная копия: ', save, ' ', open);
        pane.appendChild(line);
      }
    }
  }

  async function downloadHistory() {
    download('history.csv', await call('tolvane_history_csv', ['string'], [store.history().join('')]), 'text/csv');
  }

  // ---- the firmware list of the site -------------------------------------
  let firmware = [];
  async function showFirmwareList() {
    firmware = await window.FirmwareList.load();
    if (firmware.length === 0) return;
    const list = $('firmware');
    firmware.forEach((entry, i) => {
      const option = document.createElement('option');
      option.value = String(i);
      option.textContent = window.FirmwareList.label(entry);
      list.appendChild(option);
    });
    $('firmware-row').hidden = false;
  }

  async function loadFromList() {
    const entry = firmware[+$('firmware').value];
    if (!entry || busy) return;
    let bytes;
    try {
      bytes = await window.FirmwareList.fetchFile(entry);
    } catch (error) {
      await dialogs.message('ОШИБКА', 'Не удалось загрузить прошивку «' + entry.name + '» с сайта:\n' + error.message,
        'error');
      return;
    }
    const name = entry.file.split('/').pop();
    // The digest is the core's own (the browser's SHA-256) of the bytes fetched.
    const answer = await loadBytes(name, bytes);
    if (answer && answer.sha256 !== entry.sha256.toLowerCase()) {
      fileLoaded = false;
      await call('tolvane_open_file', ['string'], ['/files/none']);
      $('window').dataset.file = '';
      await showView('file');
      await dialogs.message('ОШИБКА', 'Прошивка «' + entry.name + '» не загружена: её контрольная сумма SHA-256 не ' +
        'совпадает с указанной в списке прошивок сайта.\nОжидалась: ' + entry.sha256.toLowerCase() + '\nПолучена: ' +
        answer.sha256 + '\nФайл мог быть повреждён при загрузке или подменён.', 'error');
    }
  }

  // ---- wiring ------------------------------------------------------------
  const handlers = {
    onLog: addTrace,
    onProgress(text, done, total) {
      // Only what changed is touched: each change costs the run a redraw.
      const bar = $('progress');
      const max = Math.max(total, 1);
      if ($('progress-box').hidden) $('progress-box').hidden = false;
      if (!$('waiting').hidden) $('waiting').hidden = true;
      if (bar.max !== max) bar.max = max;
      bar.value = done;
      const label = $('progress-text');
      if (label.textContent !== text) label.textContent = text;
    },
    onWaiting(text) {
      $('waiting').textContent = text;
      $('waiting').hidden = !text;
      $('progress-box').hidden = !!text;
    },
    onStatus: setStatus,
    onDump(which, dump) {
      view = which;
      $('show-' + which).checked = true;
      $('instruction').hidden = true;
      $('dump').hidden = false;
      dumpView.show(dump);
    },
    onQuestion(caption, text) {
      return dialogs.ask(caption, text, true);
    },
    onBackup(name, device, text) {
      download(name, text);
      const refused = store.addBackup(device || 'unknown', name, text);
      if (refused) addTrace([[12, 'Резервная копия не сохранена в браузере: ' + refused + '\n']]);
      showBackups();
      return true;
    },
    stopRequested: () => stopAsked,
    print: (text) => addTrace([[7, text + '\n']]),
    printErr: (text) => addTrace([[12, text + '\n']]),
  };

  function wire() {
    $('open').addEventListener('click', () => $('file').click());
    $('file').addEventListener('change', async (event) => {
      await loadFile(event.target.files[0]);
      event.target.value = '';
    });
    for (const kind of Object.keys(kRun)) $(kind).addEventListener('click', () => startRun(kind));
    $('cancel').addEventListener('click', cancelRun);
    $('port').addEventListener('change', (event) => selectPort(event.target.value));
    for (const which of ['file', 'device', 'instruction']) {
      $('show-' + which).addEventListener('change', () => showView(which));
    }
    $('help').addEventListener('click', () => window.open(texts.help, '_blank', 'noopener'));
    $('history').addEventListener('click', downloadHistory);
    $('save-device').addEventListener('click', async () => {
      download('device.hex', await call('tolvane_device_hex'));
    });
    $('trace-toggle').addEventListener('click', () => {
      const panel = $('trace-panel');
      panel.hidden = !panel.hidden;
      $('trace-toggle').textContent = panel.hidden ? 'Показать журнал' : 'Скрыть журнал';
      if (!panel.hidden) panel.scrollTop = panel.scrollHeight;
    });
    $('firmware-load').addEventListener('click', loadFromList);

    const remembered = store.choices();
    $('opt-wait').checked = remembered.wait;
    $('opt-changed').checked = remembered.changedOnly;
    $('opt-backup').checked = remembered.backup;
    $('opt-keep').checked = remembered.keepData;
    $('opt-ranges').value = remembered.keepRanges;
    for (const input of $('options').querySelectorAll('input')) {
      input.addEventListener('change', () => store.saveChoices(choices()));
    }

    // A file dropped anywhere on the page is opened.
    let dragDepth = 0;
    document.addEventListener('dragenter', (event) => {
      if (busy || !event.dataTransfer.types.includes('Files')) return;
      dragDepth++;
      $('drop-cover').hidden = false;
    });
    document.addEventListener('dragleave', () => {
      if (--dragDepth <= 0) {
        dragDepth = 0;
        $('drop-cover').hidden = true;
      }
    });
    document.addEventListener('dragover', (event) => event.preventDefault());
    document.addEventListener('drop', (event) => {
      event.preventDefault();
      dragDepth = 0;
      $('drop-cover').hidden = true;
      if (event.dataTransfer.files.length > 0) loadFile(event.dataTransfer.files[0]);
    });

    document.addEventListener('keydown', (event) => {
      if (event.key === 'F1') {
        event.preventDefault();
        window.open(texts.help, '_blank', 'noopener');
      } else if (event.key === 'F3') {
        event.preventDefault();
        if (view !== 'instruction' && !dumpView.next(event.shiftKey)) {
          addTrace([[7, event.shiftKey ? 'Несовпадений выше нет\n' : 'Несовпадений ниже нет\n']]);
        }
      } else if (event.key === 'Escape' && running && !dialogs.open()) {
        event.preventDefault();
        cancelRun();
      }
    });

    // Leaving in the middle of a run would leave the device half written: the browser asks first.
    window.addEventListener('beforeunload', (event) => {
      if (!running) return;
      event.preventDefault();
      event.returnValue = '';
    });

    if ('serial' in navigator) {
      navigator.serial.addEventListener('connect', refreshPorts);
      navigator.serial.addEventListener('disconnect', refreshPorts);
    } else {
      $('no-serial').textContent = 'Этот браузер не даёт странице доступа к последовательным портам (Web Serial): ' +
        'откройте её в Chrome, Edge или Opera на компьютере (Firefox — с версии 151). Имитатор устройства работает и здесь.';
      $('no-serial').hidden = false;
    }
  }

  dumpView = new window.DumpView($('dump'), $('dump-space'), $('dump-rows'));
  wire();
  TolvaneCore(handlers).then(async (module) => {
    core = module;
    window.tolvaneCore = module;  // for the page's tests
    texts = await call('tolvane_texts');
    document.title = texts.windowTitle;
    showHeader();
    showInstruction();
    fillPortList('');
    await refreshPorts();
    showBackups();
    await selectPort('');
    setInterval(idle, kIdleMs);
    document.body.dataset.ready = '1';
    document.body.dataset.readyMs = String(Math.round(performance.now()));  // since the page was opened
    showFirmwareList();
  });
  showButtons();
})();
