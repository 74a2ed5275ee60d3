"""Tests of the stand-in chart service (chart-service/server.py).

Run from the top of the work tree:
    python3 -m unittest tests/chart-service/test_server.py

Standard library only.  Starts the server as a subprocess with --port 0 and
reads the base URL from the first line of its standard output.
"""

import http.client
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
SERVER = os.path.join(ROOT, 'chart-service', 'server.py')
PAGE = '/charts/v3.6w_pro/cutter11.php'
APP_UA = 'Mozilla/5.0 (SymbianOS/9.4; U; Series60/5.0 windows - - '
PATTERN = (b'0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ'
           b'abcdefghijklmnopqrstuvwxyz-_')


class ServerProcess:
    """The service running in a subprocess; stderr goes to a temp file."""

    def __init__(self, *extra, env=None, start_timeout=30):
        self.errfile = tempfile.TemporaryFile()
        self.started = time.monotonic()
        self.proc = subprocess.Popen(
            [sys.executable, SERVER, '--port', '0'] + list(extra),
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
            stderr=self.errfile, env=env)
        self.base = None
        line = self.proc.stdout.readline().decode('ascii', 'replace')
        self.startup_seconds = time.monotonic() - self.started
        if not line:
            self.proc.wait(start_timeout)
            self.stop()
            raise RuntimeError('server did not start (exit %s): %s'
                               % (self.proc.returncode, self.stderr()))
        self.base = line.rstrip('\n')
        m = re.match(r'^http://127\.0\.0\.1:(\d+)/$', self.base)
        if not m:
            self.stop()
            raise RuntimeError('bad first line: %r' % line)
        self.port = int(m.group(1))

    def stderr(self):
        if self.errfile.closed:
            return self._err_text
        self.errfile.seek(0)
        return self.errfile.read().decode('utf-8', 'replace')

    def media_dir(self):
        m = re.search(r'media directory: (.+?) \(', self.stderr())
        return m.group(1) if m else None

    def stop(self, sig=signal.SIGTERM, timeout=10):
        if self.proc.poll() is None:
            self.proc.send_signal(sig)
            try:
                self.proc.wait(timeout)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
                raise
        if not self.errfile.closed:
            self._err_text = self.stderr()
            self.errfile.close()
        self.proc.stdout.close()
        return self.proc.returncode

    def request(self, path, method='GET', headers=None):
        conn = http.client.HTTPConnection('127.0.0.1', self.port, timeout=30)
        try:
            conn.request(method, path, headers=headers or {})
            resp = conn.getresponse()
            body = resp.read()
            return resp.status, {k.lower(): v for k, v in resp.getheaders()}, body
        finally:
            conn.close()


def vorbis_comments(data):
    """Returns the comment list of the Vorbis comment header in Ogg data."""
    i = data.find(b'\x03vorbis')
    if i < 0:
        return None
    p = i + 7
    (vlen,) = struct.unpack_from('<I', data, p)
    p += 4 + vlen
    (count,) = struct.unpack_from('<I', data, p)
    p += 4
    out = []
    for _ in range(count):
        (n,) = struct.unpack_from('<I', data, p)
        p += 4
        out.append(data[p:p + n].decode('utf-8'))
        p += n
    return out


class ChartServiceTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.srv = ServerProcess()

    @classmethod
    def tearDownClass(cls):
        code = cls.srv.stop()
        err = cls.srv.stderr()
        if code != 0 or 'Traceback' in err:
            raise AssertionError('server exit %s, stderr:\n%s' % (code, err))

    def get(self, path, **kw):
        return self.srv.request(path, **kw)

    # -- start-up ----------------------------------------------------------

    def test_first_line_and_startup_time(self):
        self.assertRegex(self.srv.base, r'^http://127\.0\.0\.1:\d+/$')
        # Target is < 3 s; allow slack for a loaded CI machine.
        self.assertLess(self.srv.startup_seconds, 15)

    # -- page and sub-resources ------------------------------------------

    def test_page(self):
        status, h, body = self.get(PAGE, headers={'User-Agent': APP_UA})
        self.assertEqual(status, 200)
        self.assertTrue(h['content-type'].startswith('text/html'))
        page = body.decode('utf-8')
        self.assertIn('href="chart.css"', page)
        self.assertIn('src="chart.js"', page)
        self.assertRegex(page, r'<input type="hidden" id="var" value="0">')
        items = re.findall(r'<li class="item (song|video)"', page)
        self.assertGreaterEqual(len(items), 6)
        self.assertIn('song', items)
        self.assertIn('video', items)
        for label in ('Play video', 'Listen', 'Download',
                      'Open in desktop player', 'Stop', 'Quit'):
            self.assertIn(label, page)
        self.assertIn('https://www.xiph.org/', page)

    def test_sub_resources(self):
        status, h, css = self.get('/charts/v3.6w_pro/chart.css')
        self.assertEqual(status, 200)
        self.assertTrue(h['content-type'].startswith('text/css'))
        self.assertIn(b'background: #000', css)
        status, h, js = self.get('/charts/v3.6w_pro/chart.js')
        self.assertEqual(status, 200)
        self.assertIn('javascript', h['content-type'])
        js = js.decode('utf-8')
        for fn in ('process_youtube(text)', 'process_ajax(text)', 'ge(id)',
                   'player(index, autoplay)'):
            self.assertIn('function ' + fn, js)
        for slot in ('showMedia', 'play_link', 'play_youtube_helper',
                     'request_youtube', 'launchMarket', 'search_song_nokia',
                     'exit', 'stop', 'start_download'):
            self.assertIn("'%s'" % slot, js)
        self.assertIn('received', js)
        status, _, _ = self.get('/charts/v3.6w_pro/nothing.js')
        self.assertEqual(status, 404)
        status, _, _ = self.get('/charts/v3.6w_pro/..%2Fserver.py')
        self.assertEqual(status, 404)

    def test_root_redirects_to_page(self):
        status, h, _ = self.get('/')
        self.assertEqual(status, 302)
        self.assertEqual(h['location'], PAGE)

    # -- request log -------------------------------------------------------

    def test_request_log_carries_user_agent(self):
        ua = APP_UA
        self.get(PAGE + '?probe=ua', headers={'User-Agent': ua})
        self.get('/charts/v3.6w_pro/chart.js?probe=ua',
                 headers={'User-Agent': ua})
        status, h, body = self.get('/requests')
        self.assertEqual(status, 200)
        self.assertEqual(h['content-type'], 'application/json')
        log = json.loads(body)
        mine = [e for e in log if e['path'].endswith('?probe=ua')]
        self.assertEqual(len(mine), 2)
        for e in mine:
            self.assertEqual(e['method'], 'GET')
            self.assertEqual(e['user_agent'], ua)   # trailing blank kept
        self.assertFalse(any(e['path'].startswith('/requests') for e in log))

    def test_request_log_without_user_agent(self):
        conn = http.client.HTTPConnection('127.0.0.1', self.srv.port)
        conn.putrequest('GET', '/lookup/video?id=1&probe=noua',
                        skip_accept_encoding=True)
        conn.endheaders()
        conn.getresponse().read()
        conn.close()
        log = json.loads(self.get('/requests')[2])
        mine = [e for e in log if e['path'].endswith('probe=noua')]
        self.assertEqual(len(mine), 1)
        self.assertIsNone(mine[0]['user_agent'])

    # -- media -------------------------------------------------------------

    def song_paths(self):
        page = self.get(PAGE)[2].decode('utf-8')
        songs = re.findall(r'data-kind="song"[^>]*data-media="([^"]+)"', page)
        videos = re.findall(r'data-kind="video"[^>]*data-media="([^"]+)"',
                            page)
        return ['/' + s for s in songs], ['/' + v for v in videos]

    def test_songs_are_tagged_ogg_vorbis(self):
        songs, _ = self.song_paths()
        self.assertGreaterEqual(len(songs), 3)
        page = self.get(PAGE)[2].decode('utf-8')
        for path in songs:
            status, h, data = self.get(path)
            self.assertEqual(status, 200, path)
            self.assertEqual(h['content-type'], 'audio/ogg')
            self.assertEqual(h['accept-ranges'], 'bytes')
            self.assertEqual(int(h['content-length']), len(data))
            self.assertTrue(data.startswith(b'OggS'))
            self.assertIn(b'\x01vorbis', data[:200])
            comments = vorbis_comments(data)
            titles = [c[6:] for c in comments if c.upper().startswith('TITLE=')]
            artists = [c[7:] for c in comments
                       if c.upper().startswith('ARTIST=')]
            self.assertEqual(len(titles), 1, comments)
            self.assertEqual(len(artists), 1, comments)
            self.assertIn('data-title="%s"' % titles[0], page)

    @unittest.skipIf(shutil.which('soxi') is None, 'soxi not installed')
    def test_songs_with_soxi(self):
        songs, _ = self.song_paths()
        with tempfile.TemporaryDirectory() as d:
            for path in songs:
                f = os.path.join(d, os.path.basename(path))
                with open(f, 'wb') as out:
                    out.write(self.get(path)[2])
                info = subprocess.run(['soxi', f], capture_output=True,
                                      text=True, check=True).stdout
                self.assertIn('Vorbis', info)
                self.assertRegex(info, r'TITLE=\S')
                self.assertRegex(info, r'ARTIST=\S')
                secs = float(subprocess.run(['soxi', '-D', f],
                                            capture_output=True, text=True,
                                            check=True).stdout)
                self.assertTrue(3 <= secs <= 6, (path, secs))

    def test_videos_are_ogg_theora(self):
        _, videos = self.song_paths()
        self.assertGreaterEqual(len(videos), 2)
        for path in videos:
            status, h, data = self.get(path)
            self.assertEqual(status, 200, path)
            self.assertEqual(h['content-type'], 'video/ogg')
            self.assertTrue(data.startswith(b'OggS'))
            self.assertIn(b'\x80theora', data)

    def test_media_differ(self):
        songs, videos = self.song_paths()
        blobs = [self.get(p)[2] for p in songs + videos]
        self.assertEqual(len(set(blobs)), len(blobs))

    def test_media_head(self):
        songs, _ = self.song_paths()
        full = self.get(songs[0])[2]
        conn = http.client.HTTPConnection('127.0.0.1', self.srv.port)
        conn.request('HEAD', songs[0])
        resp = conn.getresponse()
        self.assertEqual(resp.status, 200)
        self.assertEqual(resp.getheader('Content-Length'), str(len(full)))
        self.assertEqual(resp.getheader('Accept-Ranges'), 'bytes')
        self.assertEqual(resp.read(), b'')
        # Connection still usable after HEAD (keep-alive, no stray body).
        conn.request('GET', songs[0], headers={'Range': 'bytes=0-3'})
        resp = conn.getresponse()
        self.assertEqual(resp.status, 206)
        self.assertEqual(resp.read(), b'OggS')
        conn.close()

    def test_ranges(self):
        songs, _ = self.song_paths()
        path = songs[0]
        full = self.get(path)[2]
        size = len(full)
        cases = [
            ('bytes=0-99', 0, 99),
            ('bytes=100-199', 100, 199),
            ('bytes=1000-', 1000, size - 1),
            ('bytes=-50', size - 50, size - 1),
            ('bytes=%d-%d' % (size - 10, size + 1000), size - 10, size - 1),
            ('bytes=-%d' % (size * 2), 0, size - 1),
            ('bytes=%d-%d' % (size - 1, size - 1), size - 1, size - 1),
        ]
        for rng, first, last in cases:
            status, h, body = self.get(path, headers={'Range': rng})
            self.assertEqual(status, 206, rng)
            self.assertEqual(h['content-range'],
                             'bytes %d-%d/%d' % (first, last, size), rng)
            self.assertEqual(int(h['content-length']), last - first + 1)
            self.assertEqual(body, full[first:last + 1], rng)
            self.assertEqual(h['content-type'], 'audio/ogg')
        for rng in ('bytes=%d-' % size, 'bytes=%d-%d' % (size + 5, size + 9),
                    'bytes=-0'):
            status, h, _ = self.get(path, headers={'Range': rng})
            self.assertEqual(status, 416, rng)
            self.assertEqual(h['content-range'], 'bytes */%d' % size)
        # Malformed or multiple ranges: whole file.
        for rng in ('bytes=abc', 'bytes=20-10', 'bytes=0-1,5-6', 'items=0-1'):
            status, h, body = self.get(path, headers={'Range': rng})
            self.assertEqual(status, 200, rng)
            self.assertEqual(body, full)
        # HEAD with a range.
        status, h, body = self.get(path, method='HEAD',
                                   headers={'Range': 'bytes=10-19'})
        self.assertEqual(status, 206)
        self.assertEqual(h['content-length'], '10')
        self.assertEqual(body, b'')

    def test_unknown_media(self):
        status, _, body = self.get('/media/nothing.ogg')
        self.assertEqual(status, 404)
        self.assertTrue(body)

    # -- lookups -----------------------------------------------------------

    def test_lookup_video(self):
        page = self.get(PAGE)[2].decode('utf-8')
        ids = re.findall(r'data-kind="video"[^>]*data-media="([^"]+)"'
                         r'[^>]*data-id="(\d+)"', page)
        self.assertGreaterEqual(len(ids), 2)
        for media, ident in ids:
            status, h, body = self.get('/lookup/video?id=' + ident)
            self.assertEqual(status, 200)
            self.assertTrue(h['content-type'].startswith('text/plain'))
            url = body.decode('ascii')
            self.assertEqual(url, '%s%s' % (self.srv.base, media))
            self.assertNotRegex(url, r"['\\\s]")   # safe for process_youtube
            status, h, data = self.get(urllib.parse.urlsplit(url).path)
            self.assertEqual(status, 200)
            self.assertEqual(h['content-type'], 'video/ogg')
        for bad in ('999', 'x', ''):
            status, h, body = self.get('/lookup/video?id=' + bad)
            self.assertEqual(status, 404)
            self.assertTrue(h['content-type'].startswith('text/plain'))
            self.assertTrue(body)

    def search(self, q):
        status, h, body = self.get('/lookup/search?q=' +
                                   urllib.parse.quote(q))
        self.assertEqual(status, 200)
        self.assertEqual(h['content-type'], 'application/json')
        return json.loads(body)

    def test_lookup_search(self):
        everything = self.search('')
        songs, _ = self.song_paths()
        self.assertEqual(len(everything), len(songs))
        for hit in everything:
            self.assertEqual(set(hit) >= {'title', 'artist', 'url', 'file'},
                             True)
            self.assertTrue(hit['url'].startswith(self.srv.base + 'media/'))
        probe = everything[0]
        word = probe['title'].split()[0]
        hits = self.search(word.upper())
        self.assertIn(probe['title'], [h['title'] for h in hits])
        for h in hits:
            self.assertTrue(word.lower() in h['title'].lower()
                            or word.lower() in h['artist'].lower())
        by_artist = self.search(probe['artist'][2:6].lower())
        self.assertIn(probe['title'], [h['title'] for h in by_artist])
        self.assertEqual(self.search('zzz-no-such-song'), [])
        # Every answer is plain ASCII (the page receives it byte-wise).
        raw = self.get('/lookup/search?q=')[2]
        raw.decode('ascii')

    def test_search_hits_are_downloadable(self):
        for hit in self.search(''):
            status, h, data = self.get('/files/' +
                                       urllib.parse.quote(hit['file']))
            self.assertEqual(status, 200, hit['file'])
            self.assertEqual(int(h['content-length']), len(data))
            self.assertIn('attachment', h['content-disposition'])
            self.assertIn(hit['file'], h['content-disposition'])
            self.assertEqual(data, self.get(
                urllib.parse.urlsplit(hit['url']).path)[2])

    def test_text_download(self):
        status, h, data = self.get('/files/melodrift-readme.txt')
        self.assertEqual(status, 200)
        self.assertTrue(h['content-type'].startswith('text/plain'))
        self.assertEqual(int(h['content-length']), len(data))
        self.assertIn('filename="melodrift-readme.txt"',
                      h['content-disposition'])
        self.assertEqual(self.get('/files/nothing.txt')[0], 404)

    # -- knobs -------------------------------------------------------------

    def test_answer_hex(self):
        for hx in ('616263', '00ff27275c0a', 'c3a9e280a8', ''):
            status, h, body = self.get('/answer?hex=' + hx)
            self.assertEqual(status, 200)
            self.assertEqual(h['content-type'], 'application/octet-stream')
            self.assertEqual(body, bytes.fromhex(hx))
            self.assertEqual(h['content-length'], str(len(body)))
        self.assertEqual(self.get('/answer?hex=zz')[0], 400)
        status, h, body = self.get('/answer?hex=6869&type=text/plain')
        self.assertEqual(h['content-type'], 'text/plain')
        self.assertEqual(body, b'hi')

    def test_answer_size(self):
        for n in (0, 1, 63, 64, 65, 65536 + 7):
            status, h, body = self.get('/answer?size=%d' % n)
            self.assertEqual(status, 200)
            self.assertEqual(len(body), n)
            self.assertEqual(body, (PATTERN * (n // 64 + 1))[:n])
        n = 16 * 1024 * 1024
        t = time.monotonic()
        status, h, body = self.get('/answer?size=%d' % n)
        elapsed = time.monotonic() - t
        self.assertEqual(status, 200)
        self.assertEqual(h['content-length'], str(n))
        self.assertEqual(len(body), n)
        self.assertEqual(body, PATTERN * (n // 64))
        self.assertLess(elapsed, 10)
        status, _, body = self.get('/answer?size=70000&fill=01')
        self.assertEqual((status, body), (200, b'\x01' * 70000))
        for bad in ('zz', '0102', ''):
            self.assertEqual(self.get('/answer?size=3&fill=' + bad)[0], 400)

    def test_answer_size_paced(self):
        t = time.monotonic()
        status, _, body = self.get('/answer?size=%d&pause_ms=100'
                                   % (3 * 65536))
        self.assertEqual(status, 200)
        self.assertEqual(len(body), 3 * 65536)
        self.assertGreaterEqual(time.monotonic() - t, 0.2)

    def test_status(self):
        status, h, body = self.get('/status/418?body=' +
                                   urllib.parse.quote("I'm a teapot"))
        self.assertEqual(status, 418)
        self.assertEqual(body, b"I'm a teapot")
        status, _, body = self.get('/status/500?body=boom')
        self.assertEqual((status, body), (500, b'boom'))
        status, _, body = self.get('/status/404')
        self.assertEqual((status, body), (404, b''))
        status, h, body = self.get('/status/204')
        self.assertEqual((status, body), (204, b''))
        self.assertEqual(self.get('/status/099')[0], 400)

    def test_slow(self):
        t = time.monotonic()
        status, _, body = self.get('/slow?ms=400')
        self.assertEqual((status, body), (200, b'slow'))
        self.assertGreaterEqual(time.monotonic() - t, 0.39)

    def test_slow_does_not_block_others(self):
        import threading
        done = []
        th = threading.Thread(
            target=lambda: done.append(self.get('/slow?ms=1500')))
        th.start()
        time.sleep(0.1)
        t = time.monotonic()
        self.assertEqual(self.get('/lookup/video?id=1')[0], 200)
        self.assertLess(time.monotonic() - t, 1.0)
        th.join()
        self.assertEqual(done[0][2], b'slow')

    def test_redirect_and_basic_auth(self):
        status, h, _ = self.get('/redirect?to=/files/melodrift-readme.txt')
        self.assertEqual(status, 302)
        self.assertEqual(h['location'], '/files/melodrift-readme.txt')
        status, h, _ = self.get('/auth/basic?user=u&pass=p')
        self.assertEqual(status, 401)
        self.assertIn('Basic realm=', h['www-authenticate'])
        import base64
        cred = base64.b64encode(b'u:p').decode()
        status, _, body = self.get('/auth/basic?user=u&pass=p',
                                   headers={'Authorization': 'Basic ' + cred})
        self.assertEqual((status, body), (200, b'authorized\n'))

    def test_post_refused(self):
        status, _, _ = self.get('/lookup/search?q=', method='POST')
        self.assertEqual(status, 405)


class LifecycleTest(unittest.TestCase):

    def test_sigterm_stops_cleanly_and_removes_media(self):
        srv = ServerProcess()
        media = srv.media_dir()
        self.assertTrue(media and os.path.isdir(media), srv.stderr())
        self.assertEqual(srv.request(PAGE)[0], 200)
        self.assertEqual(srv.stop(signal.SIGTERM), 0)
        self.assertFalse(os.path.exists(media))

    def test_sigint_stops_cleanly(self):
        srv = ServerProcess()
        media = srv.media_dir()
        self.assertEqual(srv.stop(signal.SIGINT), 0)
        self.assertFalse(os.path.exists(media))

    def test_sigterm_with_pending_request(self):
        import threading
        srv = ServerProcess()
        th = threading.Thread(target=lambda: self._ignore(
            lambda: srv.request('/slow?ms=20000')), daemon=True)
        th.start()
        time.sleep(0.3)
        t = time.monotonic()
        self.assertEqual(srv.stop(signal.SIGTERM), 0)
        self.assertLess(time.monotonic() - t, 5)

    @staticmethod
    def _ignore(fn):
        try:
            fn()
        except Exception:
            pass

    def test_exit_with_parent(self):
        # Two services started by a parent that then dies: only the one asked
        # to follow its parent stops; a service started by hand keeps going.
        def alive(pid):
            try:
                with open('/proc/%d/stat' % pid) as f:
                    return f.read().rsplit(')', 1)[1].split()[0] != 'Z'
            except OSError:
                return False

        with tempfile.TemporaryDirectory() as d:
            starter = (
                'import subprocess, sys, time\n'
                'def start(*extra):\n'
                '    p = subprocess.Popen([sys.executable, sys.argv[1], "--port", "0",\n'
                '                          "--media-dir", sys.argv[2]] + list(extra),\n'
                '                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)\n'
                '    p.stdout.readline()\n'
                '    return p.pid\n'
                'print(start("--exit-with-parent"), start(), flush=True)\n'
                'time.sleep(600)\n')
            parent = subprocess.Popen([sys.executable, '-c', starter, SERVER, d],
                                      stdout=subprocess.PIPE)
            following, standalone = map(int, parent.stdout.readline().split())
            try:
                self.assertTrue(alive(following) and alive(standalone))
                parent.kill()
                parent.wait()
                deadline = time.monotonic() + 10
                while alive(following) and time.monotonic() < deadline:
                    time.sleep(0.1)
                self.assertFalse(alive(following))
                self.assertTrue(alive(standalone))
            finally:
                if parent.poll() is None:
                    parent.kill()
                    parent.wait()
                for pid in (following, standalone):
                    if alive(pid):
                        os.kill(pid, signal.SIGTERM)
                parent.stdout.close()

    def test_media_dir_is_kept_and_reused(self):
        with tempfile.TemporaryDirectory() as d:
            srv = ServerProcess('--media-dir', d)
            self.assertEqual(srv.stop(), 0)
            files = sorted(os.listdir(d))
            self.assertGreaterEqual(len(files), 6)
            self.assertFalse([f for f in files if f.startswith('.partial')])
            mtimes = {f: os.path.getmtime(os.path.join(d, f)) for f in files}
            srv = ServerProcess('--media-dir', d)
            self.assertIn('0 generated', srv.stderr())
            self.assertEqual(srv.stop(), 0)
            self.assertEqual(
                mtimes, {f: os.path.getmtime(os.path.join(d, f))
                         for f in files})

    def test_missing_tools_named(self):
        with tempfile.TemporaryDirectory() as empty:
            env = dict(os.environ, PATH=empty)
            proc = subprocess.run([sys.executable, SERVER, '--port', '0'],
                                  capture_output=True, text=True, env=env,
                                  timeout=30)
        self.assertNotEqual(proc.returncode, 0)
        self.assertEqual(proc.stdout, '')
        self.assertIn('sox', proc.stderr)
        self.assertIn('libsox-fmt-base', proc.stderr)
        self.assertIn('gstreamer1.0-tools', proc.stderr)

    def test_port_in_use(self):
        srv = ServerProcess()
        try:
            proc = subprocess.run(
                [sys.executable, SERVER, '--port', str(srv.port)],
                capture_output=True, text=True, timeout=30)
            self.assertNotEqual(proc.returncode, 0)
            self.assertEqual(proc.stdout, '')
            self.assertIn('cannot listen', proc.stderr)
        finally:
            srv.stop()


if __name__ == '__main__':
    unittest.main()
