/* Melodrift stand-in chart page script.
 *
 * The application publishes the object `Player` into this page and calls
 * back the global functions process_youtube(text), process_ajax(text),
 * ge(id) and player(index, autoplay).  Everything received is logged with
 * console.log and recorded in window.received; every call made on Player is
 * recorded in window.sent.  Without `Player` (a normal browser) the calls
 * are only logged.
 *
 * Plain ES5 on purpose: the page runs in QtWebKit.
 */

var received = { youtube: [], ajax: [], player: [] };
var sent = [];
window.received = received;
window.sent = sent;

/* ---- helpers ---------------------------------------------------------- */

function ge(id) {
  return document.getElementById(id);
}

function chartLog(text) {
  try {
    if (window.console && console.log) {
      console.log(text);
    }
  } catch (e) {
    /* nothing to do */
  }
}

function setStatus(text) {
  var s = ge('status');
  if (s) {
    s.textContent = text;
  }
}

function quote(v) {
  if (typeof v === 'string') {
    return "'" + v + "'";
  }
  return String(v);
}

/* Calls Player[name] with up to two arguments.  Returns true if the call
   was made.  Never throws. */
function callPlayer(name, a, b) {
  var args = Array.prototype.slice.call(arguments, 1);
  var shown = [];
  for (var i = 0; i < args.length; i++) {
    shown.push(quote(args[i]));
  }
  var entry = [name].concat(args);
  sent.push(entry);
  var p = window.Player;
  if (typeof p === 'undefined' || p === null || !p[name]) {
    chartLog('Player.' + name + '(' + shown.join(', ') +
             ') skipped: Player is not available');
    return false;
  }
  chartLog('Player.' + name + '(' + shown.join(', ') + ')');
  try {
    if (args.length === 0) {
      p[name]();
    } else if (args.length === 1) {
      p[name](a);
    } else {
      p[name](a, b);
    }
    return true;
  } catch (e) {
    chartLog('Player.' + name + ' failed: ' + e);
    return false;
  }
}

/* Base URL of this service, e.g. http://127.0.0.1:8650/ */
function serviceBase() {
  return location.protocol + '//' + location.host + '/';
}

function chartItems() {
  var list = ge('chart');
  if (!list) {
    return [];
  }
  var out = [];
  var lis = list.getElementsByTagName('li');
  for (var i = 0; i < lis.length; i++) {
    if (/(^|\s)item(\s|$)/.test(lis[i].className)) {
      out.push(lis[i]);
    }
  }
  return out;
}

function itemData(li) {
  var base = serviceBase();
  var file = li.getAttribute('data-file');
  return {
    kind: li.getAttribute('data-kind'),
    title: li.getAttribute('data-title'),
    artist: li.getAttribute('data-artist'),
    id: li.getAttribute('data-id'),
    mediaUrl: base + li.getAttribute('data-media'),
    fileName: file,
    fileUrl: file ? base + 'files/' + file : null
  };
}

function setClass(el, name, on) {
  var parts = el.className.split(/\s+/);
  var out = [];
  for (var i = 0; i < parts.length; i++) {
    if (parts[i] && parts[i] !== name) {
      out.push(parts[i]);
    }
  }
  if (on) {
    out.push(name);
  }
  el.className = out.join(' ');
}

/* Makes item `index` the current one: writes the index into #var and
   highlights it.  Out-of-range or unusable indexes wrap to 0.  Returns
   the index used. */
function selectItem(index) {
  var items = chartItems();
  var n = Math.floor(Number(index));
  if (!isFinite(n) || n < 0 || n >= items.length) {
    n = 0;
  }
  var v = ge('var');
  if (v) {
    v.value = String(n);
  }
  for (var i = 0; i < items.length; i++) {
    setClass(items[i], 'current', i === n);
  }
  if (items[n]) {
    var r = items[n].getBoundingClientRect();
    var h = window.innerHeight || document.documentElement.clientHeight;
    if (r.top < 0 || r.bottom > h) {
      try {
        items[n].scrollIntoView(r.top < 0);
      } catch (e) {
        /* ignore */
      }
    }
  }
  return n;
}

function currentIndex() {
  var v = ge('var');
  var n = v ? Math.floor(Number(v.value)) : 0;
  return isFinite(n) ? n : 0;
}

/* ---- actions ---------------------------------------------------------- */

function playItem(index) {
  var items = chartItems();
  if (!items.length) {
    return;
  }
  var n = selectItem(index);
  var d = itemData(items[n]);
  if (d.kind === 'video') {
    setStatus('Playing video: ' + d.title + ' \u2013 ' + d.artist);
    callPlayer('showMedia', d.mediaUrl);
  } else {
    setStatus('Playing: ' + d.title + ' \u2013 ' + d.artist);
    callPlayer('play_link', d.mediaUrl);
  }
}

function listenItem(index) {
  var n = selectItem(index);
  var d = itemData(chartItems()[n]);
  setStatus('Listening: ' + d.title + ' \u2013 ' + d.artist);
  callPlayer('play_link', d.mediaUrl);
}

function downloadItem(index) {
  var n = selectItem(index);
  var d = itemData(chartItems()[n]);
  if (!d.fileName) {
    return;
  }
  setStatus('Downloading ' + d.fileName);
  callPlayer('start_download', d.fileName, d.fileUrl);
}

function desktopItem(index) {
  var n = selectItem(index);
  var d = itemData(chartItems()[n]);
  setStatus('Opening in desktop player: ' + d.title);
  callPlayer('play_youtube_helper', d.mediaUrl);
}

function playVideoItem(index) {
  var n = selectItem(index);
  var d = itemData(chartItems()[n]);
  setStatus('Looking up video: ' + d.title + '\u2026');
  callPlayer('request_youtube', serviceBase() + 'lookup/video?id=' + d.id);
}

function searchSongs(text) {
  var q = String(text === undefined || text === null ? '' : text);
  setStatus(q ? 'Searching for \u201c' + q + '\u201d\u2026' : 'Listing all songs\u2026');
  callPlayer('search_song_nokia',
             serviceBase() + 'lookup/search?q=' + encodeURIComponent(q));
}

function stopPlayback() {
  setStatus('Stopped.');
  callPlayer('stop');
}

function openOutside() {
  setStatus('Opening https://www.xiph.org/');
  return callPlayer('launchMarket', 'https://www.xiph.org/');
}

function quitApp() {
  setStatus('Bye.');
  callPlayer('exit');
}

/* ---- functions the application calls --------------------------------- */

/* The answer of a request_youtube lookup: the media URL as plain text. */
function process_youtube(text) {
  var t = (text === undefined || text === null) ? '' : String(text);
  received.youtube.push(text);
  chartLog('process_youtube: ' + t);
  try {
    if (/^(https?|file):\/\/\S+$/i.test(t)) {
      setStatus('Playing video ' + t.replace(/^.*\//, ''));
      callPlayer('showMedia', t);
    } else {
      setStatus('Video lookup failed: ' + (t === '' ? '(empty answer)' : t));
    }
  } catch (e) {
    chartLog('process_youtube failed: ' + e);
  }
}

function decodeUtf8(bytes) {
  try {
    return decodeURIComponent(escape(bytes));
  } catch (e) {
    return bytes;
  }
}

function clearNode(el) {
  while (el.firstChild) {
    el.removeChild(el.firstChild);
  }
}

function addLine(parent, text, cls) {
  var div = document.createElement('div');
  div.className = 'line' + (cls ? ' ' + cls : '');
  div.textContent = text;
  parent.appendChild(div);
  return div;
}

function addButton(parent, label, cls, handler) {
  var b = document.createElement('button');
  b.type = 'button';
  b.className = 'act ' + cls;
  b.textContent = label;
  b.onclick = function () {
    try {
      handler();
    } catch (e) {
      chartLog('button failed: ' + e);
    }
    return false;
  };
  parent.appendChild(b);
  return b;
}

function indexOfMedia(url) {
  var items = chartItems();
  for (var i = 0; i < items.length; i++) {
    if (itemData(items[i]).mediaUrl === url) {
      return i;
    }
  }
  return -1;
}

function showHits(hits) {
  var box = ge('results');
  if (!box) {
    return;
  }
  clearNode(box);
  var valid = [];
  for (var k = 0; k < hits.length; k++) {
    if (hits[k] && typeof hits[k] === 'object') {
      valid.push(hits[k]);
    }
  }
  hits = valid;
  addLine(box, hits.length === 0 ? 'No songs found.' :
          hits.length === 1 ? '1 song found' : hits.length + ' songs found');
  for (var i = 0; i < hits.length; i++) {
    (function (h) {
      var title = String(h.title || '?');
      var artist = String(h.artist || '?');
      var url = String(h.url || '');
      var file = String(h.file || url.replace(/^.*\//, ''));
      var dl = h.download ? String(h.download) : serviceBase() + 'files/' + file;
      var row = document.createElement('div');
      row.className = 'hit';
      var who = document.createElement('span');
      who.className = 'who';
      who.textContent = title + ' \u2013 ' + artist;
      row.appendChild(who);
      addButton(row, 'Listen', 'listen', function () {
        var n = indexOfMedia(url);
        if (n >= 0) {
          selectItem(n);
        }
        setStatus('Listening: ' + title + ' \u2013 ' + artist);
        callPlayer('play_link', url);
      });
      addButton(row, 'Download', 'download', function () {
        setStatus('Downloading ' + file);
        callPlayer('start_download', file, dl);
      });
      addButton(row, 'Open in desktop player', 'desktop', function () {
        setStatus('Opening in desktop player: ' + title);
        callPlayer('play_youtube_helper', url);
      });
      box.appendChild(row);
    })(hits[i]);
  }
}

/* The answer of a search_song_nokia lookup: a string whose character codes
   are the answer's bytes (JSON list of {title, artist, url, file}). */
function process_ajax(text) {
  try {
    var t = (text === undefined || text === null) ? '' : String(text);
    received.ajax.push(text);
    chartLog('process_ajax: ' + t);
    var box = ge('results');
    var data;
    try {
      data = JSON.parse(decodeUtf8(t));
    } catch (e) {
      data = undefined;
    }
    if (data && !(data instanceof Array) && data.results instanceof Array) {
      data = data.results;
    }
    if (!(data instanceof Array)) {
      if (box) {
        clearNode(box);
        addLine(box, 'Search failed: the answer was not a song list (' +
                t.length + ' bytes).', 'error');
      }
      setStatus('Search failed.');
      return;
    }
    showHits(data);
    setStatus('Search done.');
  } catch (e) {
    chartLog('process_ajax failed: ' + e);
  }
}

/* Selects item `index` (wrapping to 0 past the end) and plays it when
   autoplay is 1.  The application evaluates
   player(ge('var').value-(-1),1); when a player is done. */
function player(index, autoplay) {
  try {
    received.player.push([index, autoplay]);
    chartLog('player: ' + index + ', ' + autoplay);
    if (autoplay == 1) {
      playItem(index);
    } else {
      selectItem(index);
    }
  } catch (e) {
    chartLog('player failed: ' + e);
  }
}

/* Entry points for tests and for driving the page from outside. */
window.chart = {
  listen: listenItem,
  download: downloadItem,
  desktop: desktopItem,
  playVideo: playVideoItem,
  play: playItem,
  select: selectItem,
  search: searchSongs,
  stop: stopPlayback,
  quit: quitApp,
  outside: openOutside,
  items: function () {
    var out = [];
    var items = chartItems();
    for (var i = 0; i < items.length; i++) {
      out.push(itemData(items[i]));
    }
    return out;
  },
  current: currentIndex
};

/* ---- wiring ----------------------------------------------------------- */

function hasClass(el, name) {
  return el && el.className &&
    (' ' + el.className + ' ').indexOf(' ' + name + ' ') >= 0;
}

function onChartClick(ev) {
  var t = ev.target || ev.srcElement;
  var button = null;
  while (t && t !== document) {
    if (!button && t.tagName === 'BUTTON') {
      button = t;
    }
    if (hasClass(t, 'item')) {
      break;
    }
    t = t.parentNode;
  }
  if (!t || t === document) {
    return;
  }
  var index = Number(t.getAttribute('data-index'));
  try {
    if (!button) {
      selectItem(index);
    } else if (hasClass(button, 'listen')) {
      listenItem(index);
    } else if (hasClass(button, 'download')) {
      downloadItem(index);
    } else if (hasClass(button, 'desktop')) {
      desktopItem(index);
    } else if (hasClass(button, 'play-video')) {
      playVideoItem(index);
    }
  } catch (e) {
    chartLog('action failed: ' + e);
  }
}

function initChart() {
  var list = ge('chart');
  if (list) {
    list.onclick = onChartClick;
  }
  var form = ge('search');
  if (form) {
    form.onsubmit = function () {
      var q = ge('q');
      searchSongs(q ? q.value : '');
      return false;
    };
  }
  if (ge('stop')) {
    ge('stop').onclick = function () { stopPlayback(); return false; };
  }
  if (ge('quit')) {
    ge('quit').onclick = function () { quitApp(); return false; };
  }
  if (ge('outside')) {
    /* With Player the desktop opens the link; in a browser, follow it. */
    ge('outside').onclick = function () { return !openOutside(); };
  }
  selectItem(currentIndex());
  window.chartReady = true;
  chartLog('chart ready: ' + chartItems().length + ' items, Player ' +
           (typeof window.Player === 'undefined' ? 'absent' : 'present'));
}

if (document.readyState === 'loading') {
  document.addEventListener('DOMContentLoaded', initChart, false);
} else {
  initChart();
}
