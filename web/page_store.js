// What the page remembers in the browser's storage: the update choices, the
// history of writes and verifications (the core's records, JSON Lines),
// and the last backups of each device. Storage may be refused (a private
// window, a full quota): the page then works without it.
window.PageStore = (function () {
  'use strict';
  const kChoices = 'tolvane.update';
  const kHistory = 'tolvane.records';
  const kBackups = 'tolvane.backups';
  // A backup of a whole device is about 180 KB of text, and a browser gives
  // a page about 5 MB: the last three of each device are kept.
  const kBackupsPerDevice = 3;

  function read(key, fallback) {
    try {
      const text = localStorage.getItem(key);
      return text === null ? fallback : JSON.parse(text);
    } catch (e) {
      return fallback;
    }
  }

  function write(key, value) {
    try {
      localStorage.setItem(key, JSON.stringify(value));
      return '';
    } catch (e) {
      return e.message || String(e);
    }
  }

  return {
    choices() {
      return Object.assign({ wait: false, changedOnly: false, backup: false, keepData: false, keepRanges: '' },
        read(kChoices, {}));
    },
    saveChoices(choices) {
      write(kChoices, choices);
    },

    history() {
      return read(kHistory, []);
    },
    // Appends a record's line; the reason when the browser refused it.
    addRecord(line) {
      const lines = read(kHistory, []);
      lines.push(line);
      return write(kHistory, lines);
    },

    // {device: [{name, text}], ...}, newest last.
    backups() {
      return read(kBackups, {});
    },
    addBackup(device, name, text) {
      const all = read(kBackups, {});
      const own = (all[device] || []).concat([{ name, text }]);
      all[device] = own.slice(-kBackupsPerDevice);
      let error = write(kBackups, all);
      // Room is made by dropping the oldest backups of other devices first.
      while (error) {
        const other = Object.keys(all).find((key) => key !== device && all[key].length > 0);
        if (!other) break;
        all[other].shift();
        if (all[other].length === 0) delete all[other];
        error = write(kBackups, all);
      }
      return error;
    },
  };
})();
