// The hex dump as the core composed it, drawn a screenful at a time: the
// flash part is rows of equal width, the regions' part lines of their own;
// only the rows in sight (and a few around them) are in the page, so the
// whole 66048 bytes scroll smoothly. The differences are the core's runs of
// characters, drawn in blue; F3 goes to the next one.
window.DumpView = (function () {
  'use strict';
  const kRowHeight = 16;  // px, as the stylesheet's line height
  const kSpare = 20;      // rows drawn beyond the visible ones

  function escape(text) {
    return text.replace(/[&<>]/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;' })[c]);
  }

  class View {
    constructor(scroller, space, rows) {
      this.scroller = scroller;
      this.space = space;
      this.rows = rows;
      this.lines = [];   // [start, end) of each line in text
      this.text = '';
      this.runs = [];    // [begin, end) in text, ascending
      this.current = -1; // the run F3 went to
      scroller.addEventListener('scroll', () => this.draw());
    }

    // dump: {flash, flashRuns, regions, regionRuns} from tolvane_dump.
    show(dump) {
      this.text = dump.flash + dump.regions;
      const offset = dump.flash.length;
      this.runs = dump.flashRuns.concat(dump.regionRuns.map(([b, e]) => [b + offset, e + offset]));
      this.lines = [];
      let at = 0;
      while (at < this.text.length) {
        let end = this.text.indexOf('\n', at);
        if (end < 0) end = this.text.length;
        this.lines.push([at, end]);
        at = end + 1;
      }
      this.current = -1;
      this.space.style.height = this.lines.length * kRowHeight + 'px';
      this.draw();
    }

    differences() {
      return this.runs.length;
    }

    // The first run that ends after position.
    firstRunAfter(position) {
      let low = 0, high = this.runs.length;
      while (low < high) {
        const mid = (low + high) >> 1;
        if (this.runs[mid][1] <= position) low = mid + 1; else high = mid;
      }
      return low;
    }

    lineOf(position) {
      let low = 0, high = this.lines.length - 1;
      while (low < high) {
        const mid = (low + high + 1) >> 1;
        if (this.lines[mid][0] <= position) low = mid; else high = mid - 1;
      }
      return low;
    }

    draw() {
      const first = Math.max(0, Math.floor(this.scroller.scrollTop / kRowHeight) - kSpare);
      const visible = Math.ceil(this.scroller.clientHeight / kRowHeight);
      const last = Math.min(this.lines.length, first + visible + 2 * kSpare);
      let html = '';
      for (let line = first; line < last; line++) {
        const [start, end] = this.lines[line];
        let at = start;
        for (let k = this.firstRunAfter(start); k < this.runs.length && this.runs[k][0] < end; k++) {
          const b = Math.max(this.runs[k][0], start), e = Math.min(this.runs[k][1], end);
          html += escape(this.text.slice(at, b).replace('\r', ''));
          html += '<span class="diff' + (k === this.current ? ' current' : '') + '">' +
            escape(this.text.slice(b, e)) + '</span>';
          at = e;
        }
        html += escape(this.text.slice(at, end).replace('\r', '')) + '\n';
      }
      this.rows.style.top = first * kRowHeight + 'px';
      this.rows.innerHTML = html;
    }

    // Goes to the next difference below (or above) the one shown last, or
    // the top of the view; false when there is none.
    next(backwards) {
      if (this.runs.length === 0) return false;
      let k;
      if (this.current >= 0) {
        k = this.current + (backwards ? -1 : 1);
      } else {
        const top = this.lines.length ? this.lines[Math.floor(this.scroller.scrollTop / kRowHeight)] : null;
        k = top ? this.firstRunAfter(top[0]) : 0;
        if (backwards) k -= 1;
      }
      if (k < 0 || k >= this.runs.length) return false;
      this.current = k;
      const line = this.lineOf(this.runs[k][0]);
      this.scroller.scrollTop = Math.max(0, (line - 3) * kRowHeight);
      this.draw();
      return true;
    }
  }

  return View;
})();
