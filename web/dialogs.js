// The page's message boxes: a caption, a text, an icon and buttons, as the
// window's boxes have them, in a modal <dialog>. Each returns a promise of
// the button pressed; Esc answers as the box's cancel button does.
window.PageDialogs = (function () {
  'use strict';
  const $ = (id) => document.getElementById(id);
  const kIcons = { error: '×', warning: '!', question: '?', info: 'i' };
  let queue = Promise.resolve();

  // buttons: [{text, value}], the first is the default, escape: the value
  // of Esc.
  function show(caption, text, icon, buttons, escape) {
    const shown = queue.then(() => new Promise((resolve) => {
      const box = $('box');
      $('box-caption').textContent = caption;
      $('box-text').textContent = text;
      $('box-icon').textContent = kIcons[icon] || '';
      box.dataset.icon = icon;
      box.dataset.shown = String(+(box.dataset.shown || 0) + 1);
      const row = $('box-buttons');
      row.textContent = '';
      let chosen = escape;
      buttons.forEach((button) => {
        const element = document.createElement('button');
        element.type = 'button';
        element.textContent = button.text;
        element.dataset.value = button.value;
        element.addEventListener('click', () => {
          chosen = button.value;
          box.close();
        });
        row.appendChild(element);
      });
      const focusAt = buttons.findIndex((button) => button.default);
      box.addEventListener('close', function closed() {
        box.removeEventListener('close', closed);
        resolve(chosen);
      });
      box.showModal();
      row.children[Math.max(focusAt, 0)].focus();
    }));
    queue = shown.catch(() => {});
    return shown;
  }

  return {
    // A message with OK.
    message(caption, text, icon) {
      return show(caption, text, icon || 'info', [{ text: 'OK', value: 'ok', default: true }], 'ok');
    },
    // Yes or No; defaultNo: No has the focus (a stray Enter answers No).
    async ask(caption, text, defaultNo) {
      const answer = await show(caption, text, 'question', [
        { text: 'Да', value: 'yes', default: !defaultNo },
        { text: 'Нет', value: 'no', default: !!defaultNo },
      ], 'no');
      return answer === 'yes';
    },
    open() {
      return $('box').open;
    },
  };
})();
