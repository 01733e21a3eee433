"""What a process costs, read from /proc: processor time, wake-ups, resident and proportional
memory.

Wake-ups are the context switches of all its threads (voluntary: it went to sleep and was woken;
involuntary: it was preempted), summed over /proc/PID/task/*/status. A thread that ends between
two samples takes its count with it, which only ever makes a figure smaller; idle clients start
and end no threads.
"""

import os
import time
from dataclasses import dataclass

TICKS = os.sysconf("SC_CLK_TCK")


@dataclass
class Sample:
    at: float  # time.monotonic()
    cpu_s: float  # user + system time of all threads so far
    switches: int  # context switches of the threads alive now
    rss_kb: int
    pss_kb: int
    threads: int


def _status_field(text, name):
    for line in text.splitlines():
        if line.startswith(name + ":"):
            return int(line.split()[1])
    return 0


def sample(pid):
    """The process's figures now; None once it is gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            stat = f.read()
        # The command name may hold spaces and parentheses: the fields follow the last ')'.
        fields = stat[stat.rindex(")") + 2 :].split()
        cpu = (int(fields[11]) + int(fields[12])) / TICKS  # utime, stime
        with open(f"/proc/{pid}/status") as f:
            rss = _status_field(f.read(), "VmRSS")
        pss = 0
        try:
            with open(f"/proc/{pid}/smaps_rollup") as f:
                pss = _status_field(f.read(), "Pss")
        except OSError:
            pass
        switches = 0
        threads = 0
        for task in os.listdir(f"/proc/{pid}/task"):
            try:
                with open(f"/proc/{pid}/task/{task}/status") as f:
                    text = f.read()
            except OSError:
                continue  # the thread ended meanwhile
            threads += 1
            switches += _status_field(text, "voluntary_ctxt_switches")
            switches += _status_field(text, "nonvoluntary_ctxt_switches")
        return Sample(time.monotonic(), cpu, switches, rss, pss, threads)
    except (OSError, ValueError):
        return None


@dataclass
class Usage:
    cpu_percent: float  # of one processor
    wakeups_per_s: float
    rss_mb: float  # at the end
    pss_mb: float
    threads: int


def usage(first, last):
    """What the process cost between two samples of it."""
    span = last.at - first.at
    if span <= 0:
        return None
    return Usage(
        cpu_percent=100.0 * (last.cpu_s - first.cpu_s) / span,
        wakeups_per_s=(last.switches - first.switches) / span,
        rss_mb=last.rss_kb / 1024.0,
        pss_mb=last.pss_kb / 1024.0,
        threads=last.threads,
    )


def measure(pids, seconds):
    """Samples every pid now and after `seconds`; {pid: Usage or None}."""
    first = {pid: sample(pid) for pid in pids}
    time.sleep(seconds)
    last = {pid: sample(pid) for pid in pids}
    out = {}
    for pid in pids:
        a, b = first[pid], last[pid]
        out[pid] = usage(a, b) if a and b else None
    return out


def _task_files(pid, name):
    """(tid, text of /proc/PID/task/TID/<name>) for each thread still there."""
    try:
        tasks = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return
    for task in tasks:
        try:
            with open(f"/proc/{pid}/task/{task}/{name}") as f:
                yield task, f.read()
        except OSError:
            continue  # the thread ended meanwhile


def per_thread_switches(pid):
    """{thread name/tid: context switches}, to find what wakes a process."""
    names = {}
    for task, text in _task_files(pid, "status"):
        name = text.splitlines()[0].split(":", 1)[1].strip()
        names[f"{name}/{task}"] = _status_field(text, "voluntary_ctxt_switches") + _status_field(
            text, "nonvoluntary_ctxt_switches")
    return names


def per_thread_cpu(pid):
    """{thread name/tid: processor seconds so far}, to find what a process spends its time on."""
    out = {}
    for task, stat in _task_files(pid, "stat"):
        name = stat[stat.index("(") + 1 : stat.rindex(")")]
        fields = stat[stat.rindex(")") + 2 :].split()
        out[f"{name}/{task}"] = (int(fields[11]) + int(fields[12])) / TICKS
    return out


def busiest(before, after, seconds, count=5):
    """The threads that used the most processor time between two per_thread_cpu readings, in %."""
    rates = sorted(((after[k] - before.get(k, 0)) * 100 / seconds, k) for k in after)
    return {k: round(r, 2) for r, k in reversed(rates[-count:]) if r > 0}
