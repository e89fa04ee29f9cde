#!/usr/bin/env python3
"""velmora.exe against a minimal Win32 program (a hidden window and a message
loop, same toolchain), both under the same Wine in the same run: stripped
size and imports, time from process start to the main window, resident
memory while idle, CPU time over an idle minute, and the cost of one check
tick. Usage: program_bench.py BUILD_DIR [--idle-seconds N]"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
wine_run = os.path.join(here, "..", "scripts", "wine-run")


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def tools(exe):
    """The binutils prefix for the program's machine: i686 or x86_64."""
    with open(exe, "rb") as f:
        head = f.read(4096)
    pe = int.from_bytes(head[60:64], "little")
    machine = int.from_bytes(head[pe + 4:pe + 6], "little")
    return "x86_64-w64-mingw32-" if machine == 0x8664 else "i686-w64-mingw32-"


def strip(exe):
    """Strips the program in place, as it ships; returns its size and imports."""
    prefix = tools(exe)
    subprocess.run([prefix + "strip", exe], check=True)
    dump = subprocess.run([prefix + "objdump", "-p", exe], capture_output=True, text=True).stdout
    dlls = sorted(set(re.findall(r"DLL Name: (\S+)", dump)))
    return os.path.getsize(exe), dlls


def linux_pid(name):
    """The newest process whose program (its first argument) is `name`: under
    Wine a Windows process shows its own path there, while the probe and
    the scripts that started it only mention it later on their lines."""
    for _ in range(100):
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    argv0 = f.read().split(b"\0")[0].decode(errors="replace")
                with open("/proc/%s/stat" % entry) as f:
                    started = int(f.read().rsplit(")", 1)[1].split()[19])
            except OSError:
                continue
            if re.split(r"[\\/]", argv0)[-1].lower() == name.lower():
                found.append((started, int(entry)))
        if found:
            return max(found)[1]
        time.sleep(0.05)
    raise RuntimeError("no process " + name)


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))


def cpu_seconds(pid):
    """CPU time of all the process's threads, in nanosecond resolution."""
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
            total += int(f.read().split()[0])
    return total / 1e9


def measure(probe, exe, window_class, runs, hold, env):
    """Start times of `runs` starts, then one more start held for `hold` seconds
    to read memory and CPU time from outside."""
    out = subprocess.run([wine_run, probe, winpath(exe), window_class, str(runs), "0"],
                         capture_output=True, text=True, env=env, timeout=300).stdout
    starts = [float(x) for x in re.findall(r"start_ms (\S+)", out)]
    held = subprocess.Popen([wine_run, probe, winpath(exe), window_class, "1", str(hold)],
                            stdout=subprocess.PIPE, text=True, env=env)
    for line in held.stdout:
        if line.startswith("ready"):
            break
    pid = linux_pid(os.path.basename(exe))
    time.sleep(3)  # let start-up settle
    rss = rss_kib(pid)
    cpu0 = cpu_seconds(pid)
    t0 = time.time()
    time.sleep(max(0, hold - 5))
    cpu1 = cpu_seconds(pid)
    idle = time.time() - t0
    held.wait(timeout=60)
    return statistics.median(starts), rss, (cpu1 - cpu0), idle


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--idle-seconds", type=int, default=60)
    parser.add_argument("--runs", type=int, default=10)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    env = dict(os.environ, VELMORA_WINEPREFIX=os.path.join(build, "wineprefix"))
    folder = tempfile.mkdtemp(prefix="velmora-bench-")
    try:
        velmora = os.path.join(folder, "velmora.exe")
        minimal = os.path.join(folder, "minimal_win32.exe")
        shutil.copy(os.path.join(build, "velmora.exe"), velmora)
        shutil.copy(os.path.join(build, "bench", "minimal_win32.exe"), minimal)
        probe = os.path.join(build, "bench", "start_probe.exe")

        vsize, vdlls = strip(velmora)
        msize, _ = strip(minimal)
        print("velmora.exe stripped: %d bytes (%.2f MiB; target <= 1 MiB); minimal: %d bytes"
              % (vsize, vsize / 2**20, msize))
        print("imports: " + ", ".join(vdlls))

        hold = args.idle_seconds + 5
        m_start, m_rss, m_cpu, m_idle = measure(probe, minimal, "VELMORA_MINIMAL", args.runs, 8, env)
        v_start, v_rss, v_cpu, v_idle = measure(probe, velmora, "VELMORA", args.runs, hold, env)
        print("start to main window (median of %d): velmora %.1f ms, minimal %.1f ms, ratio %.2f (target <= 1.5)"
              % (args.runs, v_start, m_start, v_start / m_start))
        print("resident memory idle: velmora %d KiB, minimal %d KiB, ratio %.2f (target <= 1.5)"
              % (v_rss, m_rss, v_rss / m_rss))
        print("CPU time idle over %.0f s with the four default alarms: velmora %.1f ms, %.1f ms per minute"
              " (target <= 30 ms per minute); minimal %.1f ms over %.0f s"
              % (v_idle, v_cpu * 1000, v_cpu * 60000 / v_idle, m_cpu * 1000, m_idle))
        print("check tick (in process, under Wine):")
        sys.stdout.flush()
        subprocess.run([wine_run, os.path.join(build, "bench", "tick_bench.exe")], env=env, check=True)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
