#!/usr/bin/env bash
# Differential check between an earlier build and this one: the in-process results (output and
# object, byte for byte) of the fuzz corpus, the end-to-end cases, the examples and a few
# thousand seeded variants of them must be the same, and so must what the command line prints,
# its exit status and the object file it writes when it reads each of them from a file.
#   fuzz/differential.sh REF [VARIANTS]     (REF: a git revision, such as HEAD~3)
set -euo pipefail
cd "$(dirname "$0")/.."
ref=$1
variants=${2:-4000}
work=$(mktemp -d)
trap 'git worktree remove --force "$work/old" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

git worktree add --detach "$work/old" "$ref" >/dev/null 2>&1
build_triple() {  # SOURCE_DIR BUILD_DIR
  cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$2" --target vorn_triple vorn -j2 >/dev/null
}
build_triple "$work/old" "$work/old-build"
build_triple . build-differential

python3 - "$work/src" "$variants" <<'PY'
import os, random, sys
out, count = sys.argv[1], int(sys.argv[2])
os.makedirs(out)
sources = []
for d in ("fuzz/corpus", "tests/cases", "examples"):
    for f in sorted(os.listdir(d)):
        if d != "fuzz/corpus" and not f.endswith(".s"):
            continue
        sources.append(open(os.path.join(d, f), "rb").read())
rng = random.Random(20261209)
pieces = [b" ", b"\t", b"\n", b"\r\n", b";", b"; c\n", b"\r", b"#", b"@", b"+", b":", b"R1 "]
all_sources = list(sources)
for k in range(count):
    a = rng.choice(sources)
    b = rng.choice(sources)
    kind = k % 4
    if kind == 0:
        v = a[: rng.randint(0, len(a))]
    elif kind == 1:
        at = rng.randint(0, len(a))
        v = a[:at] + b"".join(rng.choice(pieces) for _ in range(rng.randint(1, 80))) + a[at:]
    elif kind == 2:
        v = bytearray(a)
        for _ in range(rng.randint(1, 4)):
            if v:
                v[rng.randrange(len(v))] = rng.choice(b" \n;:#@+-09AZaz\xff\r.\t")
        v = bytes(v)
    else:
        v = a[: rng.randint(0, len(a))] + b[rng.randint(0, len(b)):]
    all_sources.append(v)
for k, s in enumerate(all_sources):
    open(os.path.join(out, f"{k:05d}.s"), "wb").write(s)
print(len(all_sources), "sources")
PY
"$work/old-build/tests/vorn_triple" "$work"/src/*.s > "$work/old.txt"
build-differential/tests/vorn_triple "$work"/src/*.s > "$work/new.txt"
# The command line, reading each source from a file.
run_cli() {  # VORN OUT
  local dir=$work/run
  for f in "$work"/src/*.s; do
    rm -rf "$dir" && mkdir "$dir" && cp "$f" "$dir/p.s"
    local status=0
    (cd "$dir" && "$1" p.s > out.txt) || status=$?
    printf '%s %s %s\n' "$(basename "$f")" "$status" \
      "$(cat "$dir/out.txt" "$dir/p.obj" 2>/dev/null | sha1sum | cut -c1-16)"
  done > "$2"
}
run_cli "$work/old-build/vorn" "$work/old-cli.txt"
run_cli "$PWD/build-differential/vorn" "$work/new-cli.txt"
if ! cmp -s "$work/old-cli.txt" "$work/new-cli.txt"; then
  echo "the command line differs:"
  diff "$work/old-cli.txt" "$work/new-cli.txt" | head -20
  exit 1
fi
echo "the command line: same output, status and object for all $(wc -l < "$work/new-cli.txt") sources"
if cmp -s "$work/old.txt" "$work/new.txt"; then
  echo "same results for all $(wc -l < "$work/new.txt") sources ($(grep -c '"ok":false' "$work/new.txt") of them failing)"
else
  echo "results differ:"
  diff <(nl "$work/old.txt") <(nl "$work/new.txt") | head -20
  exit 1
fi
