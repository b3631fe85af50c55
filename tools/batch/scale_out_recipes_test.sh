#!/bin/sh
# The scale-out recipes of docs/scale-out.md, run on this machine: GNU parallel on one host and
# with a login file (naming this machine only), and the Slurm job script with the variables Slurm
# would set. Each recipe's shards must add up to the whole run: the same files, byte for byte,
# and, once merged as the document says, the same JSON lines.
#
#   scale_out_recipes_test.sh BUILD_DIR SOURCE_DIR
set -eu
build="$(cd "$1" && pwd)"
source="$(cd "$2" && pwd)"
PATH="$build:$PATH"
export PATH
work="$(mktemp -d "${TMPDIR:-/tmp}/scenetext-recipes.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() {
  tail -n 20 log.txt >&2 2>/dev/null || true
  echo "scale_out_recipes_test: $*" >&2
  exit 1
}

# expect_status N COMMAND...: runs COMMAND, which must exit with N.
expect_status() {
  expected="$1"
  shift
  status=0
  "$@" >>log.txt 2>&1 || status=$?
  [ "$status" -eq "$expected" ] || fail "exit status $status, not $expected: $*"
}

# same_tree A B: the same files below A and B, with the same bytes, the JSON lines aside (the
# Slurm script keeps them in OUT/jsonl).
same_tree() {
  diff -r -x jsonl -x all.jsonl "$1" "$2" >/dev/null || fail "$2 differs from $1"
}

command -v parallel >/dev/null || fail "GNU parallel is not installed (Debian package parallel)"

# Eight photos in two folders, listed out of order, one of them broken; the list has a blank line.
model="$source/models/default.model"
mkdir -p photos/a photos/b
for i in 1 2 3; do
  cp "$source/docs/synth-example-$i.jpg" "photos/a/$i.jpg"
  cp "$source/docs/synth-example-$i.jpg" "photos/b/b$i.jpg"
done
cp "$source/docs/synth-example-2.jpg" photos/a/4.jpg
printf 'not a jpeg' >photos/b/broken.jpg
printf '%s\n' photos/b/b3.jpg photos/a/1.jpg photos/b/broken.jpg '' photos/a/4.jpg \
  photos/b/b1.jpg photos/a/3.jpg photos/a/2.jpg photos/b/b2.jpg >photos.txt

# The whole run, for the list and for a folder. The output folders are made first, as the
# recipes make theirs: the batch writes into folders, it does not create them.
mkdir -p whole whole-a one/out one/jsonl hosts/out hosts/jsonl folder/out folder/jsonl
expect_status 1 scenetext-batch --json --jsonl whole.jsonl --files-from photos.txt "$model" whole/
expect_status 0 scenetext-batch --json --jsonl whole-a.jsonl "$model" photos/a whole-a/
[ "$(wc -l <whole.jsonl)" -eq 8 ] || fail "the whole run wrote $(wc -l <whole.jsonl) lines"
[ "$(grep -c '"error"' whole.jsonl)" -eq 1 ] || fail "the whole run failed more than the broken photo"

# merge_list OUT N: the shards' lines of a list, in the list's order (line j of shard K is the
# photo at position K - 1 + (j - 1) N).
merge_list() {
  paste -d '\n' $(seq -f "$1/jsonl/shard-%g.jsonl" 1 "$2") | sed '/^$/d' >"$1/all.jsonl"
}

# GNU parallel on one host, three shards.
expect_status 1 parallel --will-cite --jobs 3 \
  scenetext-batch --jobs 1 --shard {}/3 --skip-existing --json --jsonl one/jsonl/shard-{}.jsonl \
  --files-from photos.txt "$model" one/out/ ::: 1 2 3
same_tree whole one/out
merge_list one 3
cmp -s whole.jsonl one/all.jsonl || fail "one host: merged JSON lines differ from the whole run's"

# Run again: every finished photo is skipped, nothing changes, the stream is whole again.
expect_status 1 parallel --will-cite --jobs 3 \
  scenetext-batch --jobs 1 --shard {}/3 --skip-existing --json --jsonl one/jsonl/shard-{}.jsonl \
  --files-from photos.txt "$model" one/out/ ::: 1 2 3
grep -q "processed 0 of 2 images, 1 skipped, 1 failed" log.txt || fail "the rerun did not skip"
same_tree whole one/out
merge_list one 3
cmp -s whole.jsonl one/all.jsonl || fail "rerun: merged JSON lines differ from the whole run's"

# GNU parallel with a login file: ":" is this machine; other lines would be user@host.
printf '1/:\n' >hosts.txt
expect_status 1 parallel --will-cite --sshloginfile hosts.txt --joblog hosts/joblog \
  scenetext-batch --shard {}/4 --skip-existing --json \
  --jsonl "$work/hosts/jsonl/shard-{}.jsonl" --files-from "$work/photos.txt" "$model" \
  "$work/hosts/out/" ::: $(seq 1 4)
same_tree whole hosts/out
merge_list hosts 4
cmp -s whole.jsonl hosts/all.jsonl || fail "login file: merged JSON lines differ"
[ "$(wc -l <hosts/joblog)" -eq 5 ] || fail "the job log does not hold four shards"

# The Slurm job script, as the three tasks of `sbatch --array=1-3` would run it.
for k in 1 2 3; do
  expected=0
  [ "$k" -eq 3 ] && expected=1  # the broken photo is at position 2: shard 3
  expect_status "$expected" env SLURM_ARRAY_TASK_ID="$k" SLURM_CPUS_PER_TASK=2 \
    bash "$source/tools/batch/recipes/slurm-array.sbatch" 3 "$model" photos.txt slurm
done
expect_status 2 env SLURM_ARRAY_TASK_ID=1 \
  bash "$source/tools/batch/recipes/slurm-array.sbatch" 3 "$model" photos.txt
same_tree whole slurm
merge_list slurm 3
cmp -s whole.jsonl slurm/all.jsonl || fail "Slurm: merged JSON lines differ"

# A folder's shards, merged by sorting on the image path.
expect_status 0 parallel --will-cite --jobs 2 \
  scenetext-batch --jobs 1 --shard {}/2 --json --jsonl folder/jsonl/shard-{}.jsonl \
  "$model" photos/a folder/out/ ::: 1 2
same_tree whole-a folder/out
cat folder/jsonl/shard-*.jsonl | LC_ALL=C sort -s -t '"' -k4,4 >folder/all.jsonl
cmp -s whole-a.jsonl folder/all.jsonl || fail "folder: sorted JSON lines differ"

echo "scale_out_recipes_test: the shards of every recipe add up to the whole run"
