"""The benchmark's table, from its results (bench.py's results.json).

    python3 bench/softphone/report.py build/bench-softphone/results.json
"""

import json
import sys

GOALS = {
    "idle_cpu": 0.05,  # % of one processor
    "idle_wakeups_shown": 5.0,
    "idle_wakeups_tray": 1.0,
    "idle_rss": 40.0,  # MB
    "g729_vs_linphonec": 0.8,
    "low_playout_m2e": 200.0,  # ms
    "low_playout_missing": 0.03,
}


def num(value, digits=1):
    return "-" if value is None else f"{value:.{digits}f}"


def ratio(a, b):
    if a is None or b is None:
        return "-"
    if b == 0:
        return "inf" if a > 0 else "1.00"
    return f"{a / b:.2f}"


def verdict(ok):
    return "met" if ok else "MISSED"


def get(d, *keys):
    for key in keys:
        if not isinstance(d, dict) or key not in d or d[key] is None:
            return None
        d = d[key]
    return d


def m2e(figures, prefix=""):
    s = get(figures, prefix + "mouth_to_ear")
    if not s:
        return "-"
    return f"{s['median']:.0f} ({s['min']:.0f}-{s['max']:.0f}, n={s['n']})"


def table(results):
    lines = [f"Softphone bench, {results.get('date', '?')}, {results.get('machine', '?')}; "
             f"{results.get('seconds')} s per figure"]
    idle = results.get("idle") or {}
    lines += ["", "Idle, logged in and registered",
              f"{'':24} {'CPU %':>7} {'wake-ups/s':>11} {'RSS MB':>7} {'PSS MB':>7} "
              f"{'threads':>7}"]
    for name, u in idle.items():
        lines.append(f"{name:24} {num(u['cpu_percent'], 3):>7} {num(u['wakeups_per_s'], 2):>11} "
                     f"{num(u['rss_mb']):>7} {num(u['pss_mb']):>7} {u['threads']:>7}")
    shown, tray, baresip = (idle.get("Corvel (window shown)"), idle.get("Corvel (in the tray)"),
                            idle.get("baresip"))
    if shown and tray:
        lines.append(
            f"  goals: CPU <= {GOALS['idle_cpu']} %: "
            f"{verdict(max(shown['cpu_percent'], tray['cpu_percent']) <= GOALS['idle_cpu'])}; "
            f"wake-ups <= {GOALS['idle_wakeups_shown']:.0f}/s shown: "
            f"{verdict(shown['wakeups_per_s'] <= GOALS['idle_wakeups_shown'])}, "
            f"<= {GOALS['idle_wakeups_tray']:.0f}/s in the tray: "
            f"{verdict(tray['wakeups_per_s'] <= GOALS['idle_wakeups_tray'])}; "
            f"RSS <= {GOALS['idle_rss']:.0f} MB: "
            f"{verdict(max(shown['rss_mb'], tray['rss_mb']) <= GOALS['idle_rss'])}")
    if shown and baresip:
        lines.append(f"  Corvel / baresip: RSS {ratio(shown['rss_mb'], baresip['rss_mb'])}, "
                     f"PSS {ratio(shown['pss_mb'], baresip['pss_mb'])}")

    calls = results.get("calls") or {}
    lines += ["", "In a call (caller / callee)",
              f"{'':40} {'CPU %':>13} {'RSS MB':>11} {'mouth-to-ear ms':>24} {'set-up ms':>9}"]
    for name, f in calls.items():
        cpu = "/".join(num(get(f, side, "cpu_percent"), 2) for side in ("caller", "callee"))
        rss = "/".join(num(get(f, side, "rss_mb"), 0) for side in ("caller", "callee"))
        mark = " *" if f.get("mouth_to_ear_note") else ""
        lines.append(f"{name:40} {cpu:>13} {rss:>11} {m2e(f) + mark:>24} "
                     f"{num(f.get('setup_ms'), 0):>9}")

    if any(f.get("mouth_to_ear_note") for f in calls.values()):
        lines.append("  * baresip records before its playout buffer: a lower bound")
    lines.append("  set-up: INVITE to 200 OK, callee answering by itself (Corvel's callee is "
                 "answered by a click, so Corvel is timed calling baresip)")

    def call_cpu(name):
        f = calls.get(name) or {}
        values = [get(f, side, "cpu_percent") for side in ("caller", "callee")]
        return None if None in values else sum(values) / 2

    corvel_pcmu, baresip_pcmu = call_cpu("Corvel PCMU"), call_cpu("baresip PCMU")
    corvel_g729, linphonec_g729 = call_cpu("Corvel G729"), call_cpu("linphonec G729")
    lines.append(f"  CPU per side, Corvel / baresip (PCMU): {ratio(corvel_pcmu, baresip_pcmu)} "
                 f"(goal <= 1.00: "
                 f"{verdict(None not in (corvel_pcmu, baresip_pcmu) and corvel_pcmu <= baresip_pcmu)})"
                 f"; Corvel / linphonec (G.729): {ratio(corvel_g729, linphonec_g729)} (goal <= "
                 f"{GOALS['g729_vs_linphonec']}: "
                 f"{verdict(None not in (corvel_g729, linphonec_g729) and corvel_g729 <= GOALS['g729_vs_linphonec'] * linphonec_g729)})")

    impaired = {n: f for n, f in calls.items() if "impaired" in n}
    if impaired:
        lines += ["", "Through 20 ms +- 10 ms jitter and 1 % loss (callee to caller)",
                  f"{'':40} {'mouth-to-ear ms':>24} {'lost':>7} {'missing':>8} {'total':>7}"]
        for name, f in impaired.items():
            lost, missing = f.get("lost_share"), f.get("missing_share")
            total = None if None in (lost, missing) else lost + missing
            lines.append(f"{name:40} {m2e(f, 'back_'):>24} {pct(lost):>7} {pct(missing):>8} "
                         f"{pct(total):>7}")
            if "120" in name:
                median = get(f, "back_mouth_to_ear", "median")
                lines.append(
                    f"  goals at the low setting: mouth-to-ear <= {GOALS['low_playout_m2e']:.0f} ms: "
                    f"{verdict(median is not None and median <= GOALS['low_playout_m2e'])}; "
                    f"lost or missing <= {GOALS['low_playout_missing'] * 100:.0f} %: "
                    f"{verdict(total is not None and total <= GOALS['low_playout_missing'])}")
    link = results.get("service_link")
    if link:
        lines += ["", f"Service link: {link}"]
    return "\n".join(lines)


def pct(value):
    return "-" if value is None else f"{100 * value:.1f}%"


if __name__ == "__main__":
    with open(sys.argv[1]) as f:
        print(table(json.load(f)))
