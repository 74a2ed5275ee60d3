#!/usr/bin/env python3
"""Melodrift stand-in chart service.

A small HTTP server (Python 3 standard library only) that plays the part of
the remote music-chart service for Melodrift: it serves the chart page at
/charts/v3.6w_pro/cutter11.php with its style sheet and script, the media the
page plays (generated at start with sox and gst-launch-1.0), the lookup
services the page asks the application to query, downloadable files, and a
few knobs for tests.  It binds 127.0.0.1 only.

Usage: python3 chart-service/server.py [--port N] [--media-dir DIR]

The first line written to standard output is the base URL, for example
"http://127.0.0.1:8650/".  See README.md beside this file for the endpoints.
"""

import argparse
import base64
import binascii
import email.utils
import hashlib
import html
import http.server
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
CHART_DIR = os.path.join(HERE, 'charts', 'v3.6w_pro')
CHART_PREFIX = '/charts/v3.6w_pro/'
PAGE_PATH = CHART_PREFIX + 'cutter11.php'
DEFAULT_PORT = 8650

# Repeating pattern of /answer?size=N: byte i of the answer is
# ANSWER_PATTERN[i % 64].  Printable ASCII, no quote, no backslash.
ANSWER_PATTERN = (b'0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ'
                  b'abcdefghijklmnopqrstuvwxyz-_')
assert len(ANSWER_PATTERN) == 64
ANSWER_CHUNK = ANSWER_PATTERN * 1024          # 64 KiB, pattern-aligned

MAX_SLOW_MS = 10 * 60 * 1000
MAX_LOG_ENTRIES = 100000

# --------------------------------------------------------------------------
# The chart.  Items in rank order; songs are Ogg Vorbis made with sox, videos
# Ogg Theora + Vorbis made with gst-launch-1.0.
# --------------------------------------------------------------------------

CHART = [
    dict(kind='song', title='Midnight Drive', artist='Neon Harbor',
         file='midnight-drive.ogg', seconds=4, last=2,
         synth=['sine', '440', 'sine', '554.37'], fade=True),
    dict(kind='video', title='Ocean Bars', artist='The Test Cards',
         file='ocean-bars.ogv', seconds=3, last=1,
         pattern='smpte', freq=330),
    dict(kind='song', title='Paper Satellites', artist='Lumen & Fox',
         file='paper-satellites.ogg', seconds=5, last=0,
         synth=['pluck', '329.63', 'pluck', '392'], fade=False),
    dict(kind='song', title='Low Tide', artist='Marrow Street',
         file='low-tide.ogg', seconds=3, last=3,
         synth=['triangle', '261.63', 'triangle', '329.63'], fade=True),
    dict(kind='video', title='Bouncing Light', artist='Pixel Parade',
         file='bouncing-light.ogv', seconds=3, last=7,
         pattern='ball', freq=523.25),
    dict(kind='song', title='Copper Skies', artist='The Quiet Engines',
         file='copper-skies.ogg', seconds=6, last=4,
         synth=['pluck', '196', 'pluck', '293.66'], fade=False),
    dict(kind='video', title='Pinwheel Summer', artist='Static Choir',
         file='pinwheel-summer.ogv', seconds=3, last=0,
         pattern='pinwheel', freq=220),
    dict(kind='song', title='Glass Harbour', artist='Neon Harbor',
         file='glass-harbour.ogg', seconds=4, last=5,
         synth=['sine', '587.33', 'sine', '880'], fade=True),
]


def _download_name(item):
    base = '%s - %s' % (item['artist'], item['title'])
    base = re.sub(r'[^A-Za-z0-9]+', '_', base).strip('_')
    return base + os.path.splitext(item['file'])[1]


def _init_chart():
    video_id = 0
    for rank, item in enumerate(CHART, start=1):
        item['rank'] = rank
        if item['kind'] == 'video':
            video_id += 1
            item['id'] = video_id
        else:
            item['download'] = _download_name(item)


_init_chart()

SONGS = [i for i in CHART if i['kind'] == 'song']
VIDEOS = {i['id']: i for i in CHART if i['kind'] == 'video'}

README_TXT = (
    'Melodrift stand-in chart service\n'
    '================================\n'
    '\n'
    'This small text file is served for download tests.\n'
    'The songs on the chart are generated test tones (Ogg Vorbis).\n'
).encode('ascii')

MIME = {
    '.ogg': 'audio/ogg',
    '.oga': 'audio/ogg',
    '.ogv': 'video/ogg',
    '.txt': 'text/plain; charset=utf-8',
    '.css': 'text/css; charset=utf-8',
    '.js': 'application/javascript; charset=utf-8',
    '.png': 'image/png',
    '.svg': 'image/svg+xml',
}


def log(msg):
    sys.stderr.write('[chart-service] %s\n' % msg)
    sys.stderr.flush()


# --------------------------------------------------------------------------
# Media generation
# --------------------------------------------------------------------------

class SetupError(Exception):
    pass


def _song_command(item, out):
    cmd = ['sox', '-n', '-r', '44100', '-c', '2',
           '--comment', 'TITLE=' + item['title'],
           '--add-comment', 'ARTIST=' + item['artist'],
           out, 'synth', str(item['seconds'])] + item['synth']
    effects = ['vol', '0.6']
    if item['fade']:
        effects += ['fade', 'q', '0.2', str(item['seconds']), '0.6']
    return cmd + effects


def _video_command(item, out):
    frames = int(item['seconds'] * 25)
    # 1024 samples per buffer at 44100 Hz: enough buffers for the duration.
    audio_buffers = int(item['seconds'] * 44100 / 1024) + 1
    return ['gst-launch-1.0', '-q',
            'videotestsrc', 'num-buffers=%d' % frames,
            'pattern=%s' % item['pattern'],
            '!', 'video/x-raw,width=160,height=120,framerate=25/1',
            '!', 'theoraenc', '!', 'queue', '!', 'mux.',
            'audiotestsrc', 'num-buffers=%d' % audio_buffers,
            'samplesperbuffer=1024', 'freq=%s' % item['freq'],
            'volume=0.4',
            '!', 'audio/x-raw,rate=44100,channels=2',
            '!', 'audioconvert', '!', 'vorbisenc', '!', 'queue', '!', 'mux.',
            'oggmux', 'name=mux', '!', 'filesink', 'location=%s' % out]


def generate_media(media_dir):
    """Makes every chart file in media_dir that is not there yet.

    Returns the list of file names it generated."""
    missing = [i for i in CHART
               if not (os.path.isfile(os.path.join(media_dir, i['file']))
                       and os.path.getsize(os.path.join(media_dir, i['file'])) > 0)]
    if not missing:
        return []
    needs = set()
    for item in missing:
        needs.add('sox' if item['kind'] == 'song' else 'gst-launch-1.0')
    packages = {'sox': 'sox libsox-fmt-base',
                'gst-launch-1.0': 'gstreamer1.0-tools gstreamer1.0-plugins-base'}
    absent = [t for t in sorted(needs) if shutil.which(t) is None]
    if absent:
        pk = ' '.join(packages[t] for t in absent)
        raise SetupError(
            'cannot generate media: %s not found; install the Debian '
            'package(s): apt-get install %s'
            % (' and '.join(absent), pk))

    procs = []
    for item in missing:
        final = os.path.join(media_dir, item['file'])
        tmp = os.path.join(media_dir, '.partial-' + item['file'])
        if item['kind'] == 'song':
            cmd = _song_command(item, tmp)
        else:
            cmd = _video_command(item, tmp)
        p = subprocess.Popen(cmd, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        procs.append((item, cmd, p, tmp, final))

    errors = []
    for item, cmd, p, tmp, final in procs:
        _, err = p.communicate()
        if p.returncode != 0 or not os.path.isfile(tmp) \
                or os.path.getsize(tmp) == 0:
            if item['kind'] == 'song':
                hint = 'sox libsox-fmt-base'
            else:
                hint = ('gstreamer1.0-tools gstreamer1.0-plugins-base '
                        '(theoraenc, vorbisenc, oggmux)')
            errors.append('%s failed (exit %s): %s\n  %s\n  install the '
                          'Debian package(s): %s'
                          % (cmd[0], p.returncode, item['file'],
                             err.decode('utf-8', 'replace').strip(), hint))
            try:
                os.unlink(tmp)
            except OSError:
                pass
        else:
            os.replace(tmp, final)
    if errors:
        raise SetupError('cannot generate media:\n' + '\n'.join(errors))
    return [i['file'] for i in missing]


class Blob:
    """A served file held in memory."""

    def __init__(self, data, content_type, mtime, disposition=None):
        self.data = data
        self.content_type = content_type
        self.etag = '"%s"' % hashlib.sha1(data).hexdigest()[:20]
        self.last_modified = email.utils.formatdate(mtime, usegmt=True)
        self.disposition = disposition


def load_blobs(media_dir):
    media, files = {}, {}
    for item in CHART:
        path = os.path.join(media_dir, item['file'])
        with open(path, 'rb') as f:
            data = f.read()
        ctype = MIME[os.path.splitext(item['file'])[1]]
        mtime = os.path.getmtime(path)
        media[item['file']] = Blob(data, ctype, mtime)
        if item['kind'] == 'song':
            name = item['download']
            files[name] = Blob(data, ctype, mtime,
                               'attachment; filename="%s"' % name)
    files['melodrift-readme.txt'] = Blob(
        README_TXT, MIME['.txt'], time.time(),
        'attachment; filename="melodrift-readme.txt"')
    return media, files


# --------------------------------------------------------------------------
# The chart page
# --------------------------------------------------------------------------

def _move_html(item):
    last, rank = item['last'], item['rank']
    if last == 0:
        return '<span class="move new" title="New entry">NEW</span>'
    if last > rank:
        return ('<span class="move up" title="Up from %d">&#9650; %d</span>'
                % (last, last - rank))
    if last < rank:
        return ('<span class="move down" title="Down from %d">&#9660; %d</span>'
                % (last, rank - last))
    return '<span class="move same" title="Same place">&#8226;</span>'


def render_page():
    e = lambda s: html.escape(str(s), quote=True)
    rows = []
    for index, item in enumerate(CHART):
        attrs = {
            'data-index': index,
            'data-kind': item['kind'],
            'data-title': item['title'],
            'data-artist': item['artist'],
            'data-media': 'media/' + item['file'],
        }
        if item['kind'] == 'video':
            attrs['data-id'] = item['id']
            actions = ('<button type="button" class="act play-video">'
                       'Play video</button>')
            kind = 'Video'
        else:
            attrs['data-file'] = item['download']
            actions = ('<button type="button" class="act listen">Listen</button>'
                       '<button type="button" class="act download">Download</button>'
                       '<button type="button" class="act desktop">'
                       'Open in desktop player</button>')
            kind = 'Song'
        attr_text = ' '.join('%s="%s"' % (k, e(v)) for k, v in attrs.items())
        rows.append(
            '<li class="item %s" id="item%d" %s>\n'
            '  <div class="rank">%d</div>\n'
            '  <div class="info">\n'
            '    <div class="title">%s</div>\n'
            '    <div class="artist">%s</div>\n'
            '    <div class="meta"><span class="badge">%s</span> %d s %s</div>\n'
            '  </div>\n'
            '  <div class="actions">%s</div>\n'
            '</li>' % (item['kind'], index, attr_text, item['rank'],
                       e(item['title']), e(item['artist']), kind,
                       item['seconds'], _move_html(item), actions))
    page = PAGE_TEMPLATE.replace('<!--ITEMS-->', '\n'.join(rows))
    page = page.replace('<!--COUNT-->', str(len(CHART)))
    return page.encode('utf-8')


PAGE_TEMPLATE = '''<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Melodrift Charts</title>
<link rel="stylesheet" type="text/css" href="chart.css">
</head>
<body>
<div id="page">
<div id="top">
  <div class="brand"><span class="logo">&#9835;</span> Melodrift
    <span class="sub">Top <!--COUNT--> &middot; this week</span></div>
  <div class="tools">
    <button type="button" id="stop" class="tool">Stop</button>
    <button type="button" id="quit" class="tool quit">Quit</button>
  </div>
</div>
<form id="search" action="#" autocomplete="off">
  <input type="text" id="q" name="q" placeholder="Search songs or artists">
  <button type="submit" id="go" class="tool">Search</button>
</form>
<div id="results"></div>
<ol id="chart">
<!--ITEMS-->
</ol>
<input type="hidden" id="var" value="0">
<div id="status">Ready.</div>
<div id="foot">Free formats by
  <a id="outside" href="https://www.xiph.org/">Xiph.Org</a>
  &middot; test tones, no real artists were harmed.</div>
</div>
<script type="text/javascript" src="chart.js"></script>
</body>
</html>
'''


# --------------------------------------------------------------------------
# HTTP
# --------------------------------------------------------------------------

class RequestLog:
    def __init__(self):
        self._lock = threading.Lock()
        self._entries = []

    def add(self, method, path, user_agent):
        with self._lock:
            self._entries.append({'method': method, 'path': path,
                                  'user_agent': user_agent})
            if len(self._entries) > MAX_LOG_ENTRIES:
                del self._entries[:len(self._entries) - MAX_LOG_ENTRIES]

    def snapshot(self, clear=False):
        with self._lock:
            out = list(self._entries)
            if clear:
                self._entries.clear()
            return out

    def clear(self):
        with self._lock:
            self._entries.clear()


_HOST_RE = re.compile(r'^(?:[A-Za-z0-9.-]+|\[[0-9A-Fa-f:.]+\])(?::[0-9]{1,5})?$')
_RANGE_RE = re.compile(r'^\s*bytes\s*=\s*(\d*)\s*-\s*(\d*)\s*$', re.I)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'
    server_version = 'MelodriftChartService/1.0'
    sys_version = ''
    timeout = 120

    def version_string(self):
        return self.server_version

    # -- plumbing ----------------------------------------------------------

    def handle(self):
        try:
            super().handle()
        except (ConnectionError, TimeoutError):
            pass

    def log_message(self, fmt, *args):
        log('%s %s' % (self.address_string(), fmt % args))

    def log_request(self, code='-', size='-'):
        code = getattr(code, 'value', code)
        log('%s %s %s UA=%s' % (
            self.command, self.path, code,
            json.dumps(self.headers.get('User-Agent'))))

    def _record(self):
        path = self.path
        if urllib.parse.urlsplit(path).path.rstrip('/') != '/requests':
            self.server.request_log.add(self.command, path,
                                        self.headers.get('User-Agent'))

    def base_url(self):
        host = self.headers.get('Host', '')
        if not _HOST_RE.match(host):
            host = '127.0.0.1:%d' % self.server.server_address[1]
        return 'http://%s/' % host

    def send_body(self, code, body, content_type='text/plain; charset=utf-8',
                  headers=None):
        if isinstance(body, str):
            body = body.encode('utf-8')
        self.send_response(code)
        no_body = code in (204, 304) or 100 <= code < 200
        if content_type and not no_body:
            self.send_header('Content-Type', content_type)
        for k, v in (headers or {}).items():
            self.send_header(k, v)
        if not no_body:
            self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        if self.command != 'HEAD' and not no_body:
            self.wfile.write(body)

    def send_blob(self, blob, cache='no-cache'):
        size = len(blob.data)
        headers = {
            'Accept-Ranges': 'bytes',
            'ETag': blob.etag,
            'Last-Modified': blob.last_modified,
            'Cache-Control': cache,
        }
        if blob.disposition:
            headers['Content-Disposition'] = blob.disposition
        rng = self.headers.get('Range')
        if_range = self.headers.get('If-Range')
        if rng and if_range and if_range.strip() not in (blob.etag,
                                                         blob.last_modified):
            rng = None
        if rng is not None:
            m = _RANGE_RE.match(rng)
            # Malformed or multi-range requests are ignored (full answer).
            if m and (m.group(1) or m.group(2)):
                first, last = m.group(1), m.group(2)
                start = end = None
                valid = True
                if first:
                    start = int(first)
                    end = int(last) if last else size - 1
                    if last and end < start:
                        valid = False       # syntactically invalid: ignore
                    elif start >= size:
                        start = None        # unsatisfiable
                    else:
                        end = min(end, size - 1)
                else:
                    n = int(last)
                    if n > 0 and size > 0:
                        start, end = max(0, size - n), size - 1
                if valid:
                    if start is None:
                        headers['Content-Range'] = 'bytes */%d' % size
                        self.send_body(416, 'range not satisfiable\n',
                                       headers=headers)
                        return
                    headers['Content-Range'] = 'bytes %d-%d/%d' % (start, end,
                                                                  size)
                    self.send_body(206, blob.data[start:end + 1],
                                   blob.content_type, headers)
                    return
        self.send_body(200, blob.data, blob.content_type, headers)

    # -- dispatch ----------------------------------------------------------

    def do_GET(self):
        self._record()
        self.route()

    def do_HEAD(self):
        self._record()
        self.route()

    def do_DELETE(self):
        self._record()
        if urllib.parse.urlsplit(self.path).path.rstrip('/') == '/requests':
            self.server.request_log.clear()
            self.send_body(204, b'')
        else:
            self._not_allowed()

    def do_POST(self):
        self._record()
        self._not_allowed()

    do_PUT = do_POST

    def _not_allowed(self):
        # Any request body is left unread: close the connection afterwards.
        self.close_connection = True
        self.send_body(405, 'method not allowed\n',
                       headers={'Allow': 'GET, HEAD',
                                'Connection': 'close'})

    def route(self):
        parts = urllib.parse.urlsplit(self.path)
        path = urllib.parse.unquote(parts.path)
        query = urllib.parse.parse_qs(parts.query, keep_blank_values=True)
        q = lambda name, default=None: query.get(name, [default])[0]

        if path == PAGE_PATH:
            return self.send_body(200, render_page(),
                                  'text/html; charset=utf-8',
                                  {'Cache-Control': 'no-store'})
        if path.startswith(CHART_PREFIX):
            return self.serve_chart_file(path[len(CHART_PREFIX):])
        if path in ('/', '/charts', '/charts/', CHART_PREFIX.rstrip('/')):
            return self.send_body(302, 'see %s\n' % PAGE_PATH,
                                  headers={'Location': PAGE_PATH})
        if path.startswith('/media/'):
            blob = self.server.media.get(path[len('/media/'):])
            if blob is None:
                return self.send_body(404, 'no such media: %s\n' % path)
            return self.send_blob(blob)
        if path.startswith('/files/'):
            blob = self.server.files.get(path[len('/files/'):])
            if blob is None:
                return self.send_body(404, 'no such file: %s\n' % path)
            return self.send_blob(blob)
        if path == '/lookup/video':
            return self.lookup_video(q('id', ''))
        if path == '/lookup/search':
            return self.lookup_search(q('q', ''))
        if path.rstrip('/') == '/requests':
            entries = self.server.request_log.snapshot(clear=q('clear') == '1')
            return self.send_body(200, json.dumps(entries, indent=1),
                                  'application/json',
                                  {'Cache-Control': 'no-store'})
        if path == '/answer':
            return self.answer(query)
        m = re.match(r'^/status/(\d{3})$', path)
        if m:
            return self.status(int(m.group(1)), query)
        if path == '/slow':
            return self.slow(query)
        if path == '/redirect':
            return self.redirect(query)
        if path == '/auth/basic':
            return self.auth_basic(query)
        return self.send_body(404, 'not found: %s\n' % path)

    # -- endpoints ---------------------------------------------------------

    def serve_chart_file(self, name):
        if not re.match(r'^[A-Za-z0-9_-][A-Za-z0-9_.-]*$', name):
            return self.send_body(404, 'not found\n')
        ext = os.path.splitext(name)[1]
        full = os.path.join(CHART_DIR, name)
        if ext not in MIME or not os.path.isfile(full):
            return self.send_body(404, 'not found: %s\n' % name)
        with open(full, 'rb') as f:
            data = f.read()
        self.send_body(200, data, MIME[ext], {'Cache-Control': 'no-store'})

    def lookup_video(self, ident):
        item = VIDEOS.get(int(ident)) if ident.isdigit() else None
        if item is None:
            return self.send_body(404, 'unknown video id: %s' % ident)
        self.send_body(200, self.base_url() + 'media/' + item['file'],
                       headers={'Cache-Control': 'no-store'})

    def lookup_search(self, text):
        needle = text.strip().casefold()
        base = self.base_url()
        found = []
        for item in SONGS:
            if needle and needle not in item['title'].casefold() \
                    and needle not in item['artist'].casefold():
                continue
            found.append({'title': item['title'], 'artist': item['artist'],
                          'url': base + 'media/' + item['file'],
                          'file': item['download'],
                          'download': base + 'files/' + item['download'],
                          'rank': item['rank']})
        self.send_body(200, json.dumps(found, ensure_ascii=True),
                       'application/json', {'Cache-Control': 'no-store'})

    def answer(self, query):
        ctype = query.get('type', ['application/octet-stream'])[0]
        if 'hex' in query:
            try:
                data = binascii.unhexlify(query['hex'][0].strip())
            except (binascii.Error, ValueError):
                return self.send_body(400, 'bad hex\n')
            return self.send_body(200, data, ctype,
                                  {'Cache-Control': 'no-store'})
        if 'size' in query:
            try:
                size = int(query['size'][0])
                pause = int(query.get('pause_ms', ['0'])[0]) / 1000.0
                if size < 0 or pause < 0:
                    raise ValueError
                chunk = ANSWER_CHUNK
                if 'fill' in query:
                    fill = binascii.unhexlify(query['fill'][0].strip())
                    if len(fill) != 1:
                        raise ValueError
                    chunk = fill * len(ANSWER_CHUNK)
            except (binascii.Error, ValueError):
                return self.send_body(400, 'bad size, pause_ms or fill\n')
            self.send_response(200)
            self.send_header('Content-Type', ctype)
            self.send_header('Content-Length', str(size))
            self.send_header('Cache-Control', 'no-store')
            self.end_headers()
            if self.command == 'HEAD':
                return
            left = size
            while left > 0:
                n = min(left, len(chunk))
                self.wfile.write(chunk[:n])
                left -= n
                if pause and left > 0:
                    self.wfile.flush()
                    time.sleep(pause)
            return
        self.send_body(400, 'use /answer?hex=HEX or /answer?size=N\n')

    def status(self, code, query):
        if not 200 <= code <= 599:
            return self.send_body(400, 'status must be 200..599\n')
        body = query.get('body', [''])[0]
        ctype = query.get('type', ['text/plain; charset=utf-8'])[0]
        headers = {'Cache-Control': 'no-store'}
        if 'location' in query:
            headers['Location'] = query['location'][0]
        if code == 401:
            headers['WWW-Authenticate'] = 'Basic realm="melodrift"'
        self.send_body(code, body, ctype, headers)

    def slow(self, query):
        try:
            ms = int(query.get('ms', ['1000'])[0])
        except ValueError:
            return self.send_body(400, 'bad ms\n')
        time.sleep(max(0, min(ms, MAX_SLOW_MS)) / 1000.0)
        self.send_body(200, query.get('body', ['slow'])[0],
                       headers={'Cache-Control': 'no-store'})

    def redirect(self, query):
        target = query.get('to', [None])[0]
        if not target:
            return self.send_body(400, 'use /redirect?to=URL\n')
        try:
            code = int(query.get('code', ['302'])[0])
        except ValueError:
            code = 302
        if code not in (301, 302, 303, 307, 308):
            code = 302
        self.send_body(code, 'redirect to %s\n' % target,
                       headers={'Location': target})

    def auth_basic(self, query):
        user = query.get('user', ['user'])[0]
        password = query.get('pass', ['secret'])[0]
        realm = query.get('realm', ['melodrift'])[0]
        expected = 'Basic ' + base64.b64encode(
            ('%s:%s' % (user, password)).encode('utf-8')).decode('ascii')
        if self.headers.get('Authorization', '').strip() == expected:
            return self.send_body(200, 'authorized\n')
        self.send_body(401, 'authorization required\n',
                       headers={'WWW-Authenticate':
                                'Basic realm="%s"' % realm.replace('"', '')})


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


# --------------------------------------------------------------------------
# main
# --------------------------------------------------------------------------

def main(argv=None):
    parser = argparse.ArgumentParser(
        description='Melodrift stand-in chart service (loopback only).')
    parser.add_argument('--port', type=int, default=DEFAULT_PORT,
                        help='TCP port on 127.0.0.1 (default %d; 0 picks a '
                             'free one)' % DEFAULT_PORT)
    parser.add_argument('--media-dir', default=None,
                        help='folder for the generated media (kept; files '
                             'already there are reused). Default: a '
                             'temporary folder removed at exit')
    parser.add_argument('--exit-with-parent', action='store_true',
                        help='stop when the process that started the '
                             'service ends, even if it crashed')
    args = parser.parse_args(argv)
    parent = os.getppid()

    own_dir = args.media_dir is None
    if own_dir:
        media_dir = tempfile.mkdtemp(prefix='melodrift-media-')
    else:
        media_dir = os.path.abspath(args.media_dir)
        os.makedirs(media_dir, exist_ok=True)

    def cleanup():
        if own_dir:
            shutil.rmtree(media_dir, ignore_errors=True)

    stop = threading.Event()

    def on_signal(signum, frame):
        stop.set()

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)

    started = time.monotonic()
    try:
        made = generate_media(media_dir)
        media, files = load_blobs(media_dir)
    except SetupError as e:
        log('error: %s' % e)
        cleanup()
        return 2
    except OSError as e:
        log('error: %s' % e)
        cleanup()
        return 2

    try:
        httpd = Server(('127.0.0.1', args.port), Handler)
    except OSError as e:
        log('error: cannot listen on 127.0.0.1:%d: %s' % (args.port, e))
        cleanup()
        return 3
    httpd.media = media
    httpd.files = files
    httpd.request_log = RequestLog()
    port = httpd.server_address[1]

    if stop.is_set():
        httpd.server_close()
        cleanup()
        log('stopped before start-up completed')
        return 0
    log('media directory: %s (%d generated, %d reused)'
        % (media_dir, len(made), len(CHART) - len(made)))
    log('ready in %.2f s; page: http://127.0.0.1:%d%s'
        % (time.monotonic() - started, port, PAGE_PATH))
    try:
        sys.stdout.write('http://127.0.0.1:%d/\n' % port)
        sys.stdout.flush()
    except (BrokenPipeError, OSError):
        pass

    thread = threading.Thread(target=httpd.serve_forever,
                              kwargs={'poll_interval': 0.2}, daemon=True)
    thread.start()
    while not stop.wait(0.5):
        # An orphan is handed to another parent. A test that died would
        # otherwise leave the service holding its output pipe, and the runner
        # waiting on it until its time-out.
        if args.exit_with_parent and os.getppid() != parent:
            log('parent gone')
            break
    log('stopping')
    httpd.shutdown()
    httpd.server_close()
    thread.join(5)
    cleanup()
    log('stopped')
    return 0


if __name__ == '__main__':
    sys.exit(main())
