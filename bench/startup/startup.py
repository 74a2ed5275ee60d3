#!/usr/bin/env python3
"""Start-up benchmark: melodrift against a bare QtWebKit page loader.

Starts the stand-in chart service on a free loopback port, then runs each
program several times on its chart page and measures

  * the time from process start to the chart page's first successful load,
    taken as the moment the page's own script reports "chart ready: ..."
    on the console (melodrift passes console messages to its debug output,
    the baseline prints them itself), so both are timed on the same event;
  * resident memory (VmRSS) at that moment;

and prints the medians and the ratios melodrift/baseline.  Afterwards it
measures the CPU time (utime + stime) that each program, idle with the page
loaded, uses over ten seconds.

It never fails for being slow: the exit status is non-zero only when
something could not run at all.

Usage: startup.py [--build-dir DIR] [--runs N] [--idle-seconds S]
"""

import argparse
import os
import queue
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))
READY_TEXT = 'chart ready:'
READY_TIMEOUT = 120.0
CLOCK_TICKS = os.sysconf('SC_CLK_TCK')


class CannotRun(Exception):
    pass


def read_vmrss_kib(pid):
    with open('/proc/%d/status' % pid) as f:
        for line in f:
            if line.startswith('VmRSS:'):
                return int(line.split()[1])
    raise CannotRun('no VmRSS for process %d' % pid)


def cpu_ticks(pid):
    with open('/proc/%d/stat' % pid) as f:
        stat = f.read()
    # The command name may hold blanks and parentheses: split after the last ')'.
    fields = stat[stat.rindex(')') + 2:].split()
    # Fields 14 and 15 of proc(5), utime and stime; fields[0] here is field 3.
    return int(fields[11]) + int(fields[12])


def thread_activity(pid):
    """Run time in nanoseconds and context switches, summed over all threads.

    Finer than utime + stime, which count whole clock ticks: a program that
    wakes briefly now and then shows here though its ticks stay at 0."""
    runtime = switches = 0
    task_dir = '/proc/%d/task' % pid
    for tid in os.listdir(task_dir):
        try:
            with open(os.path.join(task_dir, tid, 'schedstat')) as f:
                runtime += int(f.read().split()[0])
            with open(os.path.join(task_dir, tid, 'status')) as f:
                for line in f:
                    if line.startswith(('voluntary_ctxt_switches:', 'nonvoluntary_ctxt_switches:')):
                        switches += int(line.split()[1])
        except (OSError, ValueError, IndexError):
            pass  # a thread that ended meanwhile
    return runtime, switches


class ServiceProcess:
    def __init__(self, media_dir):
        cmd = [sys.executable, os.path.join(SOURCE_DIR, 'chart-service', 'server.py'),
               '--port', '0', '--media-dir', media_dir]
        self.proc = subprocess.Popen(cmd, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL,
                                     stdin=subprocess.DEVNULL, text=True)
        line = self.proc.stdout.readline().strip()
        if not line.startswith('http://127.0.0.1:'):
            self.stop()
            raise CannotRun('the chart service did not start (first line %r)' % line)
        self.base = line if line.endswith('/') else line + '/'

    def page(self):
        return self.base + 'charts/v3.6w_pro/cutter11.php'

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class Run:
    """One program started on the chart page, watched until it is ready."""

    def __init__(self, name, argv, env):
        self.name = name
        self.lines = queue.Queue()
        self.output = []
        self.started = time.monotonic()
        self.proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for raw in self.proc.stderr:
            self.lines.put((time.monotonic(), raw.decode('utf-8', 'replace').rstrip('\n')))
        self.lines.put((time.monotonic(), None))

    def wait_ready(self):
        """Seconds from start to the ready line, the RSS then, and the line."""
        deadline = self.started + READY_TIMEOUT
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise CannotRun('%s: no "%s" within %d s; its output:\n  %s'
                                % (self.name, READY_TEXT, READY_TIMEOUT,
                                   '\n  '.join(self.output[-20:])))
            try:
                when, line = self.lines.get(timeout=left)
            except queue.Empty:
                continue
            if line is None:
                raise CannotRun('%s ended (status %s) before the page was ready; '
                                'its output:\n  %s' % (self.name, self.proc.wait(),
                                                       '\n  '.join(self.output[-20:])))
            self.output.append(line)
            if READY_TEXT in line:
                rss = read_vmrss_kib(self.proc.pid)
                return when - self.started, rss, line

    def idle_cpu_seconds(self, settle, seconds):
        time.sleep(settle)
        if self.proc.poll() is not None:
            raise CannotRun('%s ended while idle' % self.name)
        before = cpu_ticks(self.proc.pid)
        run_before, switches_before = thread_activity(self.proc.pid)
        time.sleep(seconds)
        if self.proc.poll() is not None:
            raise CannotRun('%s ended while idle' % self.name)
        run_after, switches_after = thread_activity(self.proc.pid)
        return ((cpu_ticks(self.proc.pid) - before) / CLOCK_TICKS,
                (run_after - run_before) / 1e9, switches_after - switches_before)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.reader.join(5)


def private_env(root, start_url):
    """An environment whose writable places are all inside root."""
    env = dict(os.environ)
    for name, sub in (('HOME', 'home'), ('XDG_CONFIG_HOME', 'config'),
                      ('XDG_DATA_HOME', 'data'), ('XDG_CACHE_HOME', 'cache'),
                      ('MELODRIFT_DOWNLOAD_DIR', 'downloads')):
        path = os.path.join(root, sub)
        os.makedirs(path, exist_ok=True)
        env[name] = path
    env['MELODRIFT_PLAYLIST_FILE'] = os.path.join(root, 'playlist', 'melodrift.ram')
    env['MELODRIFT_START_URL'] = start_url
    # Debug output must reach the pipe even where Qt would log elsewhere.
    env['QT_FORCE_STDERR_LOGGING'] = '1'
    return env


def fmt_ms(seconds):
    return '%7.0f ms' % (seconds * 1000.0)


def fmt_mib(kib):
    return '%7.1f MiB' % (kib / 1024.0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--build-dir', default=os.environ.get(
        'MELODRIFT_BUILD_DIR', os.path.join(SOURCE_DIR, 'build')))
    parser.add_argument('--runs', type=int, default=5)
    parser.add_argument('--idle-seconds', type=float, default=10.0)
    args = parser.parse_args()

    build = os.path.abspath(args.build_dir)
    programs = [
        ('baseline', [os.path.join(build, 'bench', 'startup', 'startup_baseline')]),
        ('melodrift', [os.path.join(build, 'melodrift')]),
    ]
    for name, argv in programs:
        if not os.access(argv[0], os.X_OK):
            raise CannotRun('%s not built: %s (cmake --build %s --target %s)'
                            % (name, argv[0], build,
                               'startup_baseline' if name == 'baseline' else 'melodrift'))
    if not os.environ.get('DISPLAY'):
        raise CannotRun('no DISPLAY: use run.sh, which starts a virtual X server')

    scratch = tempfile.mkdtemp(prefix='melodrift-bench-startup-')
    service = None
    try:
        service = ServiceProcess(os.path.join(scratch, 'media'))
        page = service.page()
        print('chart page: %s' % page)
        print('runs per program: %d, alternating; times from process start to the page script\'s '
              '"%s" line' % (args.runs, READY_TEXT))

        results = {name: [] for name, _ in programs}
        # One unmeasured start of each warms the file cache for both alike.
        for round_no in range(args.runs + 1):
            order = programs if round_no % 2 == 0 else list(reversed(programs))
            for name, argv in order:
                root = os.path.join(scratch, '%s-%d' % (name, round_no))
                run = Run(name, argv + ([page] if name == 'baseline' else []),
                          private_env(root, page))
                try:
                    seconds, rss, line = run.wait_ready()
                finally:
                    run.stop()
                if name == 'melodrift' and 'Player present' not in line:
                    print('warning: melodrift\'s page did not find Player: %s' % line)
                if round_no > 0:
                    results[name].append((seconds, rss))

        print()
        print('%-10s %10s %10s %10s %12s' % ('program', 'median', 'min', 'max', 'RSS median'))
        medians = {}
        for name, _ in programs:
            times = [t for t, _ in results[name]]
            rsses = [r for _, r in results[name]]
            medians[name] = (statistics.median(times), statistics.median(rsses))
            print('%-10s %s %s %s %s' % (name, fmt_ms(medians[name][0]), fmt_ms(min(times)),
                                          fmt_ms(max(times)), fmt_mib(medians[name][1])))
        print()
        print('ratio melodrift/baseline, time to first load: %.2f'
              % (medians['melodrift'][0] / medians['baseline'][0]))
        print('ratio melodrift/baseline, resident memory:    %.2f'
              % (medians['melodrift'][1] / medians['baseline'][1]))
        # One line each for the table bench/run-all.sh prints.
        (mel_time, mel_rss), (base_time, base_rss) = medians['melodrift'], medians['baseline']
        print('result\tstart-up\ttime to the chart page\'s first load\t%.0f ms\t%.0f ms\tbare QtWebKit loader'
              '\t%.2f\t<= 1.10' % (mel_time * 1000, base_time * 1000, mel_time / base_time))
        print('result\tstart-up\tresident memory at first load\t%.1f MiB\t%.1f MiB\tbare QtWebKit loader'
              '\t%+.1f MiB\t<= +10 MiB' % (mel_rss / 1024, base_rss / 1024, (mel_rss - base_rss) / 1024))

        print()
        print('idle CPU with the page loaded, over %.0f s (after %.0f s to settle):'
              % (args.idle_seconds, 3.0))
        idle = {}
        for name, argv in programs:
            root = os.path.join(scratch, '%s-idle' % name)
            run = Run(name, argv + ([page] if name == 'baseline' else []),
                      private_env(root, page))
            try:
                run.wait_ready()
                idle[name] = run.idle_cpu_seconds(3.0, args.idle_seconds)
            finally:
                run.stop()
            ticks, runtime, switches = idle[name]
            print('%-10s utime+stime %5.0f ms; scheduled %8.2f ms in %5d context switches'
                  % (name, ticks * 1000.0, runtime * 1000.0, switches))
        ticks, runtime, switches = idle['melodrift']
        if ticks == 0:
            print('melodrift idle: no CPU used (utime+stime unchanged over %.0f s)' % args.idle_seconds)
        else:
            print('melodrift idle: used %d clock tick(s) of CPU over %.0f s (%.2f ms actually '
                  'scheduled; baseline %.2f ms)' % (round(ticks * CLOCK_TICKS), args.idle_seconds,
                                                    runtime * 1000.0, idle['baseline'][1] * 1000.0))
        print('ratio melodrift/baseline, idle scheduled time: %s'
              % ('%.2f' % (runtime / idle['baseline'][1]) if idle['baseline'][1] > 0 else 'n/a'))
        return 0
    finally:
        if service:
            service.stop()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == '__main__':
    try:
        sys.exit(main())
    except CannotRun as e:
        print('startup benchmark could not run: %s' % e, file=sys.stderr)
        sys.exit(1)
