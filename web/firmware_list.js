// Firmware offered by the site the page is served from: firmware.json beside
// the page ({"firmware": [{name, version, date, file, sha256, note}]}). The
// chosen file is fetched from the same place and loaded only when its
// SHA-256 (the core's, the browser's digest) is the list's. Without a list,
// or opened from the disk, nothing of this shows.
window.FirmwareList = (function () {
  'use strict';
  const kDigest = /^[0-9a-fA-F]{64}$/;

  // The list's entries that can be offered; [] when there is no list.
  async function load() {
    let response;
    try {
      response = await fetch('firmware.json', { cache: 'no-cache' });
    } catch (e) {
      return [];  // no list beside the page (or a page opened from the disk)
    }
    if (!response.ok) return [];
    let list;
    try {
      list = await response.json();
    } catch (e) {
      console.warn('firmware.json is not JSON: ' + e.message);
      return [];
    }
    const entries = Array.isArray(list && list.firmware) ? list.firmware : [];
    return entries.filter((entry) => entry && typeof entry.name === 'string' && typeof entry.file === 'string' &&
      typeof entry.sha256 === 'string' && kDigest.test(entry.sha256));
  }

  // The label of an entry in the list.
  function label(entry) {
    return [entry.name, entry.version, entry.date].filter((part) => part).join(' — ') +
      (entry.note ? ' (' + entry.note + ')' : '');
  }

  // The file's bytes, from the same place as the list.
  async function fetchFile(entry) {
    const response = await fetch(new URL(entry.file, document.baseURI), { cache: 'no-cache' });
    if (!response.ok) throw new Error(response.status + ' ' + response.statusText);
    return new Uint8Array(await response.arrayBuffer());
  }

  return { load, label, fetchFile };
})();
