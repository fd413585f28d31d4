// Runs in a world of its own beside every page of the pane: the page cannot see it, and it sees
// the page's players through the document they share. It tells the program what they do (a line
// on the console that only this world can write: the pane knows the key) and plays them at the
// program's volume. The pane fills in the two values below each time it loads a page.
(function () {
  'use strict';
  var key = '@KEY@';
  var volume = @VOLUME@;
  var leaving = false;
  // Players that have played: waiting before the first sound is only the start.
  var started = new WeakSet();

  function say(what) {
    if (!leaving) console.log(key + what);
  }
  function isPlayer(node) {
    return node instanceof HTMLMediaElement;
  }
  function apply(player) {
    if (player.volume !== volume) player.volume = volume;
  }
  // The program's own local page plays through Web Audio; it reads the volume from here.
  function mark() {
    if (document.documentElement) document.documentElement.setAttribute('data-ondavo-volume', String(volume));
  }

  // Media events do not bubble: they are caught on their way down to the player.
  var reports = { playing: 'playing', pause: 'paused', error: 'error', stalled: 'stalled', waiting: 'stalled',
                  ended: 'ended' };
  Object.keys(reports).forEach(function (type) {
    document.addEventListener(type, function (event) {
      var player = event.target;
      if (!isPlayer(player)) return;
      // A stream that ends pauses first; the end is what happened.
      if (type === 'pause' && (player.ended || player.error)) return;
      if (type === 'playing') started.add(player);
      else if (type === 'waiting' && !started.has(player)) return;
      say(reports[type]);
    }, true);
  });
  ['loadstart', 'play'].forEach(function (type) {
    document.addEventListener(type, function (event) {
      if (isPlayer(event.target)) apply(event.target);
    }, true);
  });
  // The local page's alarm, silenced by the listener's own hand.
  document.addEventListener('ondavo-alarm-stopped', function () { say('paused'); }, true);
  // Players stop as the page goes; that is the program's navigation, not the listener's pause.
  window.addEventListener('pagehide', function () { leaving = true; }, true);
  document.addEventListener('readystatechange', mark);
  mark();

  window.ondavoSetVolume = function (value) {
    volume = value;
    mark();
    Array.prototype.forEach.call(document.querySelectorAll('audio, video'), apply);
  };
})();
