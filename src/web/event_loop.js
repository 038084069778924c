// Sleeping in the page. A timer fires a millisecond or more late, which
// every command of a procedure would pay: a sleep waits by timer to just
// short of its end and polls the rest through message tasks, as the desktop's
// device sleeps and spins. A wait resumes from a message task, never from the
// timer's own, so that the next timer is not one nested in it (the browser
// stretches those to 4 ms at least).
Module['sleepOnEventLoop'] = (function () {
  // How much earlier than its end a sleep's timer is asked to fire.
  const kTimerSlackMs = 2;
  const channel = new MessageChannel();
  const woken = [];
  channel.port1.onmessage = () => woken.shift()();
  function soon(callback) {
    woken.push(callback);
    channel.port2.postMessage(0);
  }
  return (ms) => new Promise((resolve) => {
    const end = performance.now() + ms;
    const poll = () => (performance.now() >= end ? resolve() : soon(poll));
    const timerMs = Math.floor(ms - kTimerSlackMs);
    if (timerMs >= 1) setTimeout(() => soon(poll), timerMs);
    else soon(poll);
  });
})();
