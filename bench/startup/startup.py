#!/usr/bin/env python3
"""Start-up benchmark: melodrift on each engine against a bare loader of that engine.

Starts the stand-in chart service on a free loopback port, then runs each
program (melodrift and the bare loader, on every engine built) several times
on its chart page, in turn, and measures

  * the time from process start to the chart page's first successful load,
    taken as the moment the page's own script reports "chart ready: ..."
    on the console (melodrift passes console messages to its debug output,
    the loaders print them themselves), so all are timed on the same event;
  * the memory of the program and every process it started (QtWebEngine's
    zygote, renderer and GPU processes) at that moment: the sum of their
    resident sets (VmRSS), which counts each library they share once per
    process, and the sum of their proportional sets (Pss), which shares it
    out, so that the engines can be compared on what they really take;

and prints the medians, their spread and the ratios melodrift/loader and
QtWebEngine/QtWebKit: for times the median of each round's ratio, since the
machine's other load changes between rounds more than within one.
Afterwards it measures the CPU time (utime + stime) that each program, idle
with the page loaded, uses over ten seconds, its helper processes included.

It never fails for being slow: the exit status is non-zero only when
something could not run at all.

Usage: startup.py [--build-dir DIR] [--runs N] [--idle-seconds S]
The programs are those the build lists in bench/startup/programs.tsv.
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


def process_tree(pid):
    """pid and every process descended from it, as (pid, start time) pairs."""
    children = {}
    for entry in os.listdir('/proc'):
        if not entry.isdigit():
            continue
        try:
            fields = read_stat_fields(int(entry))
        except OSError:
            continue  # ended meanwhile
        # fields[1] is ppid (field 4 of proc(5)), fields[19] the start time (field 22).
        children.setdefault(int(fields[1]), []).append((int(entry), fields[19]))
    try:
        tree = [(pid, read_stat_fields(pid)[19])]
    except OSError:
        return []
    for parent, _ in tree:
        tree.extend(children.get(parent, []))
    return tree


def read_stat_fields(pid):
    with open('/proc/%d/stat' % pid) as f:
        stat = f.read()
    # The command name may hold blanks and parentheses: split after the last ')'.
    return stat[stat.rindex(')') + 2:].split()


def tree_memory_kib(pid):
    """Summed VmRSS and Pss (KiB) of the process tree, and its size."""
    rss = pss = count = 0
    for member, _ in process_tree(pid):
        try:
            rss += read_vmrss_kib(member)
            with open('/proc/%d/smaps_rollup' % member) as f:
                pss += next(int(line.split()[1]) for line in f if line.startswith('Pss:'))
            count += 1
        except (OSError, StopIteration, CannotRun):
            pass  # a helper that ended meanwhile
    if count == 0:
        raise CannotRun('no memory figures for process %d' % pid)
    return rss, pss, count


def cpu_ticks(pid):
    """utime + stime of the process tree, in clock ticks."""
    ticks = 0
    for member, _ in process_tree(pid):
        try:
            fields = read_stat_fields(member)
        except OSError:
            continue
        # Fields 14 and 15 of proc(5), utime and stime; fields[0] here is field 3.
        ticks += int(fields[11]) + int(fields[12])
    return ticks


def thread_activity(pid):
    """Run time in nanoseconds and context switches, summed over all threads
    of the process tree.

    Finer than utime + stime, which count whole clock ticks: a program that
    wakes briefly now and then shows here though its ticks stay at 0."""
    runtime = switches = 0
    for member, _ in process_tree(pid):
        task_dir = '/proc/%d/task' % member
        try:
            tids = os.listdir(task_dir)
        except OSError:
            continue
        for tid in tids:
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
        self.helpers = []
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
        """Seconds from start to the ready line, the tree's memory then
        (RSS KiB, PSS KiB, processes), and the line."""
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
                memory = tree_memory_kib(self.proc.pid)
                self.helpers = process_tree(self.proc.pid)[1:]
                return when - self.started, memory, line

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
        # Helpers the engine started end with the program; one that did not
        # would weigh on the next run. Only the very processes seen, by
        # their start time, never a later one that took over the number.
        for pid, started in self.helpers:
            try:
                if read_stat_fields(pid)[19] == started:
                    os.kill(pid, signal.SIGKILL)
            except (OSError, IndexError):
                pass


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


ENGINE_NAMES = {'webkit': 'QtWebKit', 'webengine': 'QtWebEngine'}


def read_programs(build):
    """(engine, program, loader) for every engine built, from programs.tsv."""
    listing = os.path.join(build, 'bench', 'startup', 'programs.tsv')
    try:
        with open(listing) as f:
            rows = [line.rstrip('\n').split('\t') for line in f if line.strip()]
    except OSError:
        raise CannotRun('%s missing: configure %s with -DMELODRIFT_BUILD_BENCH=ON' % (listing, build))
    for _, *paths in rows:
        for path in paths:
            if not os.access(path, os.X_OK):
                raise CannotRun('not built: %s (cmake --build %s --target bench_startup)' % (path, build))
    return rows


def spread(values, unit):
    """The median and the range of the runs: "212 ms (198-240)"."""
    scale, digits, name = {'ms': (1000.0, 0, 'ms'), 'MiB': (1 / 1024.0, 1, 'MiB')}[unit]
    fmt = lambda value: '%.*f' % (digits, value * scale)
    return '%s %s (%s-%s)' % (fmt(statistics.median(values)), name, fmt(min(values)), fmt(max(values)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--build-dir', default=os.environ.get(
        'MELODRIFT_BUILD_DIR', os.path.join(SOURCE_DIR, 'build')))
    parser.add_argument('--runs', type=int, default=11)
    parser.add_argument('--idle-seconds', type=float, default=10.0)
    args = parser.parse_args()

    build = os.path.abspath(args.build_dir)
    # (key, engine, role, argv): the loaders take the page as argument.
    programs = []
    for engine, program, loader in read_programs(build):
        programs.append(((engine, 'loader'), engine, 'loader', [loader]))
        programs.append(((engine, 'melodrift'), engine, 'melodrift', [program]))
    if not os.environ.get('DISPLAY'):
        raise CannotRun('no DISPLAY: use run.sh, which starts a virtual X server')

    scratch = tempfile.mkdtemp(prefix='melodrift-bench-startup-')
    service = None
    try:
        service = ServiceProcess(os.path.join(scratch, 'media'))
        page = service.page()

        def start(key, engine, role, argv, label):
            root = os.path.join(scratch, '%s-%s-%s' % (engine, role, label))
            return Run('%s (%s)' % (role, engine), argv + ([page] if role == 'loader' else []),
                       private_env(root, page))

        print('chart page: %s' % page)
        print('runs per program: %d, each round in a turned order; times from process start to the page '
              'script\'s "%s" line' % (args.runs, READY_TEXT))

        results = {key: [] for key, *_ in programs}
        # One unmeasured round warms the file cache for all alike; turning
        # the order each round spreads the machine's other load evenly.
        for round_no in range(args.runs + 1):
            shift = round_no % len(programs)
            for key, engine, role, argv in programs[shift:] + programs[:shift]:
                run = start(key, engine, role, argv, round_no)
                try:
                    seconds, memory, line = run.wait_ready()
                finally:
                    run.stop()
                if role == 'melodrift' and 'Player present' not in line:
                    print('warning: melodrift on %s: the page did not find Player: %s' % (engine, line))
                if round_no > 0:
                    results[key].append((seconds, memory))

        def times(key):
            return [t for t, _ in results[key]]

        def memory(key, index):
            return [m[index] for _, m in results[key]]

        ms, mib = 'ms', 'MiB'  # times in seconds, memory in KiB
        print()
        print('%-22s %-22s %-26s %-26s %s' % ('program', 'time median (min-max)', 'RSS sum median (min-max)',
                                             'PSS sum median (min-max)', 'processes'))
        for key, engine, role, _ in programs:
            print('%-22s %-22s %-26s %-26s %s' % (
                '%s (%s)' % (role, engine), spread(times(key), ms), spread(memory(key, 0), mib),
                spread(memory(key, 1), mib), '/'.join(str(n) for n in sorted(set(memory(key, 2))))))
        print()

        # One line each for the table bench/run-all.sh prints: benchmark,
        # measure, Melodrift, baseline, baseline is, ratio, goal.
        med = statistics.median

        # Other work on the machine comes and goes over a run of minutes:
        # the times of one round, taken within seconds of each other, are
        # compared with each other, and the median of those ratios taken.
        def paired_ratio(ours, theirs):
            return med([a / b for a, b in zip(ours, theirs)])
        engines = [engine for engine, *_ in read_programs(build)]
        for engine in engines:
            name = ENGINE_NAMES.get(engine, engine)
            mel, base = (engine, 'melodrift'), (engine, 'loader')
            processes = max(memory(mel, 2))
            ratio = paired_ratio(times(mel), times(base))
            print('result\tstart-up (%s)\ttime to the chart page\'s first load\t%s\t%s\tbare %s loader'
                  '\t%.2f\t<= 1.10' % (name, spread(times(mel), ms), spread(times(base), ms), name, ratio))
            extra = (med(memory(mel, 0)) - med(memory(base, 0))) / 1024.0
            print('result\tstart-up (%s)\tresident memory at first load, summed over its %d process%s'
                  '\t%s\t%s\tbare %s loader\t%+.1f MiB\t<= +10 MiB'
                  % (name, processes, '' if processes == 1 else 'es', spread(memory(mel, 0), mib),
                     spread(memory(base, 0), mib), name, extra))
        if 'webkit' in engines and 'webengine' in engines:
            webkit, webengine = ('webkit', 'melodrift'), ('webengine', 'melodrift')
            print('result\tengines (Melodrift on QtWebEngine)\ttime to the chart page\'s first load\t%s\t%s'
                  '\tMelodrift on QtWebKit\t%.2f\t-'
                  % (spread(times(webengine), ms), spread(times(webkit), ms),
                     paired_ratio(times(webengine), times(webkit))))
            for index, what in ((0, 'resident memory of all processes (VmRSS summed)'),
                                (1, 'memory of all processes, shared pages shared out (Pss summed)')):
                print('result\tengines (Melodrift on QtWebEngine)\t%s\t%s\t%s\tMelodrift on QtWebKit'
                      '\t%.2f\t-' % (what, spread(memory(webengine, index), mib), spread(memory(webkit, index), mib),
                                      med(memory(webengine, index)) / med(memory(webkit, index))))

        print()
        print('idle CPU with the page loaded, helper processes included, over %.0f s (after %.0f s to settle):'
              % (args.idle_seconds, 3.0))
        for key, engine, role, argv in programs:
            run = start(key, engine, role, argv, 'idle')
            try:
                run.wait_ready()
                ticks, runtime, switches = run.idle_cpu_seconds(3.0, args.idle_seconds)
            finally:
                run.stop()
            print('%-22s utime+stime %5.0f ms; scheduled %8.2f ms in %5d context switches'
                  % ('%s (%s)' % (role, engine), ticks * 1000.0, runtime * 1000.0, switches))
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
