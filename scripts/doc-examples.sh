#!/usr/bin/env bash
# Writes the examples in docs/SIMULATOR.md, docs/TRANSCRIPT.md, docs/EVENTS.md and README.md from what
# the programs do now, and checks that the profile examples in
# docs/SIMULATOR.md load. With --check it writes nothing and fails when a
# document shows what the programs no longer do (the times of real-time runs
# aside). Everything it runs stays in a temporary folder.
#   scripts/doc-examples.sh [--check] [BUILD_DIR]      (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
check=0
if [ "${1:-}" = --check ]; then
  check=1
  shift
fi
bin=$(cd "${1:-build/release}/bin" && pwd)
work=$(mktemp -d)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill -INT "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
export TALVERN_REGISTRY=$work/registry.reg XDG_DATA_HOME=$work/data
unset TALVERN_TRACE
examples=$work/examples
mkdir -p "$examples"
cd "$work"

fenced() { echo '```'; cat; echo '```'; }

# host-end: talvern's own recording of a simulated version check.
"$bin/talvern" --batch run "Verify receiver software version" --simulate --transcript run.txt > /dev/null
# Its start, then the first request and reply the recorder named.
{ head -n 14 run.txt; echo '...'; grep -m 2 ' | ' run.txt; echo '...'; } | fenced > "$examples/host-end"

# replay-deviation: the same run with the first byte of its second write changed.
awk 'BEGIN { n = 0 } / tx / && ++n == 2 { sub(/ tx ../, " tx FF") } { print }' run.txt > changed.txt
if "$bin/talvern" --batch run 7 --replay changed.txt > /dev/null 2> replay.txt; then
  echo "doc-examples: a changed recording replayed without complaint" >&2
  exit 1
fi
grep 'replay of' replay.txt | sed "s|$work/||g; s|^talvern: ||" | fold -s -w 78 | sed 's/ *$//' | fenced \
  > "$examples/replay-deviation"

# reset-unanswered: the events of a batch reset that nothing answers.
"$bin/talvern" --json --batch run "Reset to factory default" --simulate | fenced > "$examples/reset-unanswered" || true

# receiver-end: qz7xx-sim's recording of the same check over a pseudo-terminal, in real time.
"$bin/qz7xx-sim" --transcript sim.txt > pty.txt &
sim_pid=$!
for _ in $(seq 50); do
  [ -s pty.txt ] && break
  sleep 0.1
done
"$bin/talvern" --batch run 7 --port "$(head -n 1 pty.txt)" --time-scale 10 > /dev/null
kill -INT "$sim_pid"
wait "$sim_pid" || true
sim_pid=
"$bin/talvern" --batch run 7 --replay sim.txt > /dev/null
# Its start: the break-info request and its reply.
{ awk '/ rx / { rx = 1 } / tx / && rx { exit } { print }' sim.txt; echo '...'; } | fenced > "$examples/receiver-end"

# default-profile: every operation on the default profile, and on what it needs.
"$bin/qz7xx-mkimg" timg fw_v420.timg --platform KELVOR --version 420
"$bin/talvern" firmware add fw_v420.timg > /dev/null
echo '<clone/>' > clone.xml
# The cellular-modem profile of docs/SIMULATOR.md's examples.
printf 'hw.flags = 0x20\nhw.flags_at = 45\n' > modem.txt
row() {  # the command as shown, then its arguments after talvern
  local shown=$1
  shift
  "$bin/talvern" --json --batch --yes "$@" > events.jsonl 2>/dev/null || true
  python3 - "$shown" events.jsonl <<'PY'
import json, sys
events = [json.loads(line) for line in open(sys.argv[2])]
done = events[-1]
said = done.get("status") or done["reason"]
if done["outcome"] == "failed":
    # The plug-in's own message says why: the box after its version line.
    boxes = [e["text"].split("\n\n", 1)[-1] for e in events if e["event"] == "messagebox"]
    if boxes:
        said += " (" + boxes[-1].replace("\n", " ") + ")"
print("| `%s` | %s: %s |" % (sys.argv[1], done["outcome"], said))
PY
}
{
  echo '| command | outcome: last status |'
  echo '|---|---|'
  while IFS=$'\t' read -r index name _; do
    row "talvern --batch --yes run $index --simulate" run "$index" --simulate
  done < <("$bin/talvern" list)
  row "talvern --batch --yes run 2 --simulate=modem.txt" run 2 --simulate=modem.txt
  row "talvern --batch --yes --set 122:1077=clone.xml run 6 --simulate" --set "122:1077=$work/clone.xml" run 6 --simulate
} > "$examples/default-profile"

# several-receivers: an update of three virtual receivers, the third keeping its old version.
printf 'serial = 5012A00124\n' > second.txt
printf 'serial = 5012A00125\nupdate.keep_version = true\n' > keeps-version.txt
{
  echo '$ talvern --batch --answer "Ensure all files=ok" run "Load GPS software" --simulate --ports 1,2,3 \'
  echo '      --simulate=2:second.txt --simulate=3:keeps-version.txt'
  echo '...'
  "$bin/talvern" --batch --answer "Ensure all files=ok" run "Load GPS software" --simulate --ports 1,2,3 \
    --simulate=2:second.txt --simulate=3:keeps-version.txt | sed -n '/^Summary:/,$p' || true
} | fenced > "$examples/several-receivers"

# The profile examples load and run.
python3 - "$root/docs/SIMULATOR.md" "$work" <<'EOF'
import re, sys
text = open(sys.argv[1]).read()
section = text[text.index("### Examples"):]
for n, block in enumerate(re.findall(r"```\n(.*?)```", section, re.S)):
    open("%s/profile%d.txt" % (sys.argv[2], n), "w").write(block)
EOF
for profile in profile*.txt; do
  "$bin/talvern" --batch run 7 "--simulate=$profile" > /dev/null 2> profile.err || true
  if grep -q "talvern: profile" profile.err; then
    echo "doc-examples: a profile example in docs/SIMULATOR.md does not load:" >&2
    cat "$profile" profile.err >&2
    exit 1
  fi
done

# Put the examples in (or, with --check, compare them with what the documents show).
python3 - "$check" "$examples" "$root" docs/SIMULATOR.md docs/TRANSCRIPT.md docs/EVENTS.md README.md <<'EOF'
import os, re, sys
check, examples, root, docs = sys.argv[1] == "1", sys.argv[2], sys.argv[3], sys.argv[4:]
block = re.compile(r"(<!-- example (\S+)( \(times vary\))? -->\n)(.*?)(<!-- end of example -->)", re.S)
# What changes from run to run: the times of real-time runs, real seconds taken.
times = re.compile(r"^\d+\.\d{9} |\"elapsed_s\":[0-9.]+", re.M)


def Steady(text):
    """The text without what a real-time run changes: its times, and how the
    host's writes happened to be split when they reached the receiver."""
    lines = []
    for line in times.sub("T ", text).splitlines():
        if lines and line.startswith("T tx ") and lines[-1].startswith("T tx ") and " | " not in lines[-1]:
            lines[-1] += " " + line[len("T tx "):]
        else:
            lines.append(line)
    return lines


stale = []
for doc in docs:
    path = os.path.join(root, doc)
    text = open(path).read()
    def fill(m):
        new = open(os.path.join(examples, m.group(2))).read()
        old = m.group(4)
        if m.group(3):
            same = Steady(old) == Steady(new)
        else:
            same = old == new
        if not same:
            stale.append("%s: example %s" % (doc, m.group(2)))
        return m.group(1) + (old if same else new) + m.group(5)
    filled = block.sub(fill, text)
    if not check and filled != text:
        open(path, "w").write(filled)
if stale and check:
    sys.exit("doc-examples: stale, run scripts/doc-examples.sh: " + ", ".join(stale))
for s in stale:
    print("doc-examples: wrote " + s)
EOF
