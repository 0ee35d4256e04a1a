#!/usr/bin/env python3
"""Several receivers at once, in real time: 1, 2, 4 and 8 virtual receivers
updated by one talvern run ("Load GPS software" of a 1 MiB image, the
version read back), each receiver in the process of the talvern that runs
its port (--simulate --realtime), where the receiver's waits and every
byte's time on the line are real. Every repetition runs each count once, in
turn, so that the counts share the machine's load; the figures are medians
over the repetitions with their ranges.

  bench/several_receivers.py [BUILD_DIR] [--counts 1,2,4,8] [--repetitions 5] [--image-kib 1024]

Per count: the wall time of the whole run and its ratio to one receiver's in
the same repetition (goal: at most 1.15), the CPU time of talvern and its
children per receiver (the virtual receivers' share included) and as a share
of a core, and the peak resident size of talvern and its children together
(sampled every 20 ms), and how many runs did not succeed. Exits 2 when the
goal is missed or a run failed.

Why not qz7xx-sim on pseudo-terminals: a break does not cross a
pseudo-terminal, and after its install the receiver comes back at the
upload's speed while the host finds it again at 9600 baud after a break,
so an update cannot end there. The application-mode upload runs at 115200
baud, the speed the plug-in switches the receiver to for it.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

GOAL = 1.15
# No internal radio: the synchronisation after the update would only add its fixed waits.
PROFILE = "radio.pipe = nak\n"


def tree_rss_kib(root):
    """The resident size of `root` and everything below it, in KiB."""
    parents = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            parents[int(entry)] = int(fields[1])
        except (OSError, IndexError, ValueError):
            pass
    members = {root}
    grew = True
    while grew:
        grew = False
        for pid, ppid in parents.items():
            if ppid in members and pid not in members:
                members.add(pid)
                grew = True
    total = 0
    for pid in members:
        try:
            with open("/proc/%d/status" % pid) as f:
                for line in f:
                    if line.startswith("VmRSS:"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def run_once(bin_dir, work, count):
    args = [os.path.join(bin_dir, "talvern"), "--batch", "--answer", "Ensure all files=ok", "run", "Load GPS software",
            "--simulate=" + os.path.join(work, "receiver.profile"), "--realtime"]
    for p in range(1, count + 1):
        args += ["--port", str(p)]
    started = time.monotonic()
    talvern = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    peak = [0]
    done = threading.Event()

    def sample():
        while not done.is_set():
            peak[0] = max(peak[0], tree_rss_kib(talvern.pid))
            done.wait(0.02)

    sampler = threading.Thread(target=sample)
    sampler.start()
    output = talvern.stdout.read()
    _, status, usage = os.wait4(talvern.pid, 0)
    wall = time.monotonic() - started
    done.set()
    sampler.join()
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        # Kept and counted: a real-time run on a loaded machine can miss a receiver's reply.
        print("several_receivers: %d receivers: talvern ended with %d:\n%s" % (count, code, output[-2000:]),
              file=sys.stderr)
    # wait4 counts talvern's own time and that of the children it waited for.
    return {"wall": wall, "cpu": usage.ru_utime + usage.ru_stime, "peak": peak[0], "ok": code == 0}


def spread(values, fmt):
    return "%s [%s-%s]" % (fmt % statistics.median(values), fmt % min(values), fmt % max(values))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build", nargs="?", default="build/release")
    parser.add_argument("--counts", default="1,2,4,8")
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--image-kib", type=int, default=1024)
    a = parser.parse_args()
    counts = [int(c) for c in a.counts.split(",")]
    if counts[0] != 1:
        sys.exit("several_receivers: the counts begin with 1, the yardstick")
    bin_dir = os.path.abspath(os.path.join(a.build, "bin"))
    started, load_before = time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()), os.getloadavg()
    work = tempfile.mkdtemp(prefix="several-receivers-", dir="/dev/shm" if os.access("/dev/shm", os.W_OK) else None)
    try:
        os.environ["TALVERN_REGISTRY"] = os.path.join(work, "registry.reg")
        os.environ["XDG_DATA_HOME"] = os.path.join(work, "data")
        os.environ.pop("TALVERN_TRACE", None)
        image = os.path.join(work, "fw_v480.timg")
        subprocess.run([os.path.join(bin_dir, "qz7xx-mkimg"), "timg", image, "--platform", "KELVOR", "--version", "480",
                        "--size", str(a.image_kib * 1024)], check=True)
        subprocess.run([os.path.join(bin_dir, "talvern"), "firmware", "add", image], check=True, stdout=subprocess.DEVNULL)
        with open(os.path.join(work, "receiver.profile"), "w") as f:
            f.write(PROFILE)
        results = {c: [] for c in counts}
        for rep in range(a.repetitions):
            for c in counts:
                print("repetition %d, %d receivers" % (rep + 1, c), file=sys.stderr, flush=True)
                results[c].append(run_once(bin_dir, work, c))
    finally:
        shutil.rmtree(work, ignore_errors=True)

    print("Load GPS software of a %d KiB application (.timg), upload at 115200 baud, version read back; "
          "%d repetitions, %d cores" % (a.image_kib, a.repetitions, os.cpu_count()))
    print("Run from %s to %s; load average %s before, %s after" % (
        started, time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()), " ".join("%.2f" % x for x in load_before),
        " ".join("%.2f" % x for x in os.getloadavg())))
    print()
    print("%-10s %-20s %-22s %-22s %-22s %s" % ("receivers", "wall s", "CPU s per receiver", "core % per receiver",
                                                "peak RSS together MiB", "runs that failed"))
    for c in counts:
        r = results[c]
        print("%-10d %-20s %-22s %-22s %-22s %d of %d" % (
            c, spread([x["wall"] for x in r], "%.1f"), spread([x["cpu"] / c for x in r], "%.2f"),
            spread([100 * x["cpu"] / c / x["wall"] for x in r], "%.2f"), spread([x["peak"] / 1024 for x in r], "%.1f"),
            sum(not x["ok"] for x in r), len(r)))
    print()
    print("Ratios: wall time of N receivers over one receiver's, in the same repetition (goal: at most %.2f)" % GOAL)
    met = all(x["ok"] for r in results.values() for x in r)
    for c in counts[1:]:
        ratios = [results[c][i]["wall"] / results[1][i]["wall"] for i in range(a.repetitions)]
        ok = statistics.median(ratios) <= GOAL
        met = met and ok
        print("  %d receivers: %s  %s" % (c, spread(ratios, "%.3f"), "met" if ok else "NOT MET"))
    return 0 if met else 2


if __name__ == "__main__":
    sys.exit(main())
