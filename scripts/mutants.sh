#!/usr/bin/env bash
# Mutation run: applies each seeded fault in scripts/mutants/ to a scratch
# copy of the working tree, rebuilds it, runs the tests whose labels cover the
# changed folder and reports which test kills the fault.
#
#   scripts/mutants.sh [-w WORKDIR] [PATCH...]
#
# WORKDIR (default build/mutants) holds the copy (src), its Windows build
# (win, with its own test rig) and results.txt. The real tree is only read.
# MUTANT_TIMEOUT (seconds, default 420) bounds the tests of one mutant; a
# mutant still running then counts as killed by the timeout. MUTANT_EXCLUDE
# (ctest -E regex, default ^dll_exports$) leaves tests out, e.g. one that
# already fails on the unmutated tree.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

work=build/mutants
while getopts "w:" opt; do
  case $opt in
    w) work=$OPTARG ;;
    *) echo "usage: $0 [-w WORKDIR] [PATCH...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
mkdir -p "$work"
work=$(cd "$work" && pwd)
src=$work/src
bld=$work/win
limit=${MUTANT_TIMEOUT:-420}
exclude=${MUTANT_EXCLUDE:-'^dll_exports$'}

patches=("$@")
if [ ${#patches[@]} -eq 0 ]; then
  patches=("$root"/scripts/mutants/*.patch)
fi
for i in "${!patches[@]}"; do
  patches[$i]=$(cd "$(dirname "${patches[$i]}")" && pwd)/$(basename "${patches[$i]}")
done

# Tests per product folder, as a ctest label regex (every test carries its
# folder under tests/ as a label; the sample game carries "samples").
labels_for() {
  case $1 in
    kernels) echo '^(kernels|display)$' ;;
    display) echo '^(display|samples?)$' ;;
    drawing | image) echo '^(image|display|hostile)$' ;;
    input) echo '^(input|engine)$' ;;
    sound) echo '^(sound|hostile)$' ;;
    engine) echo '^(engine|display|input|hostile)$' ;;
    utility) echo '^(utility|engine|input)$' ;;
    include) echo '^(abi|engine|display|image|input|sound)$' ;;
    *) echo '.' ;;
  esac
}

# Product folder of a repository path (display/kernels/ counts as kernels).
folder_of() {
  case $1 in
    display/kernels/*) echo kernels ;;
    */*) echo "${1%%/*}" ;;
    *) echo other ;;
  esac
}

applied=""
rig_up=0
cleanup() {
  if [ -n "$applied" ]; then
    patch -R -p1 --batch --silent -d "$src" <"$applied" >/dev/null 2>&1 || true
    applied=""
  fi
  if [ "$rig_up" = 1 ]; then
    bash "$src/scripts/rig.sh" stop "$bld" >/dev/null 2>&1 || true
    rig_up=0
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Scratch copy: tracked and untracked-but-not-ignored files, mtimes kept, only
# changed files rewritten. A file that a mutant touched keeps its newer mtime
# in the copy when its content is the real tree's (its object was built from
# the mutant and must be rebuilt), and is touched when it is copied anew.
mkdir -p "$src"
git ls-files -co --exclude-standard >"$work/files.list"
: >"$work/keep.list"
if [ -f "$work/touched.list" ]; then
  while IFS= read -r f; do
    if [ -f "$f" ] && [ -f "$src/$f" ] && cmp -s "$f" "$src/$f"; then echo "$f"; fi
  done <"$work/touched.list" | sort -u >"$work/keep.list"
fi
grep -v -x -F -f "$work/keep.list" "$work/files.list" | rsync -a --files-from=- ./ "$src/"
if [ -f "$work/touched.list" ]; then
  while IFS= read -r f; do
    if [ -f "$src/$f" ] && ! grep -q -x -F "$f" "$work/keep.list"; then touch "$src/$f"; fi
  done <"$work/touched.list"
  rm -f "$work/touched.list"
fi
# The prepared libmad sources are shared with the real tree.
mkdir -p "$root/.cache"
if [ ! -L "$src/.cache" ]; then
  rm -rf "$src/.cache"
  ln -s "$root/.cache" "$src/.cache"
fi

source scripts/win-build.sh
if [ ! -f "$bld/build.ninja" ]; then
  cmake -S "$src" -B "$bld" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$src/$win_toolchain" >"$work/configure.log" 2>&1 ||
    { echo "mutants: configuring $bld failed (see $work/configure.log)" >&2; exit 1; }
fi
if ! cmake --build "$bld" -j2 >"$work/build.log" 2>&1; then
  echo "mutants: the unmutated tree does not build (see $work/build.log)" >&2
  exit 1
fi

results=$work/results.txt
: >"$results"
report() {
  printf '%-44s %s\n' "$1" "$2" | tee -a "$results"
}

total=0 killed=0 survived=0 invalid=0
for p in "${patches[@]}"; do
  name=$(basename "$p" .patch)
  total=$((total + 1))
  log=$work/logs/$name
  mkdir -p "$log"
  files=$(sed -n 's|^+++ b/\([^[:space:]]*\).*|\1|p' "$p")
  if [ -z "$files" ] || ! patch -p1 --dry-run --forward --batch -d "$src" <"$p" >"$log/patch.txt" 2>&1; then
    report "$name" "does not apply"
    invalid=$((invalid + 1))
    continue
  fi
  printf '%s\n' $files >>"$work/touched.list"
  patch -p1 --forward --batch --silent -d "$src" <"$p" >>"$log/patch.txt" 2>&1
  applied=$p
  folder=$(folder_of "$(printf '%s\n' $files | head -n1)")

  if ! cmake --build "$bld" -j2 >"$log/build.txt" 2>&1; then
    report "$name" "does not build"
    invalid=$((invalid + 1))
  else
    rig_up=1
    status=0
    timeout -k 20 "$limit" ctest --test-dir "$bld" -L "$(labels_for "$folder")" -E "$exclude" \
      --stop-on-failure --output-on-failure >"$log/ctest.txt" 2>&1 || status=$?
    bash "$src/scripts/rig.sh" stop "$bld" >/dev/null 2>&1 || true
    rig_up=0
    if [ $status = 124 ] || [ $status = 137 ]; then
      report "$name" "killed by timeout"
      killed=$((killed + 1))
    elif [ $status = 0 ]; then
      report "$name" "survived"
      survived=$((survived + 1))
    else
      # First failing test in the order ctest ran them (the rig fixtures are
      # not tests of the product).
      first=$(sed -n 's/^ *[0-9]*\/[0-9]* Test *#[0-9]*: \([^ ]*\) .*\*\*\*.*/\1/p' "$log/ctest.txt" |
        grep -v -E '^rig_(start|stop)$' | head -n1 || true)
      if [ -z "$first" ]; then
        first=$(sed -n 's/^ *[0-9]* - \([^ ]*\) (.*/\1/p' "$log/ctest.txt" | head -n1 || true)
      fi
      # The first failing GoogleTest case, when the test is a GoogleTest program.
      case_=$(sed -n 's/^\[  FAILED  \] \([A-Za-z0-9_/.]*\).*/\1/p' "$log/ctest.txt" | head -n1 || true)
      report "$name" "killed by ${first:-ctest (exit $status)}${case_:+ ($case_)}"
      killed=$((killed + 1))
    fi
  fi

  patch -R -p1 --batch --silent -d "$src" <"$p" >>"$log/patch.txt" 2>&1
  applied=""
  for f in $files; do touch "$src/$f"; done
done

valid=$((total - invalid))
pct=0
if [ $valid -gt 0 ]; then pct=$((100 * killed / valid)); fi
printf 'mutants: %d  killed: %d  survived: %d  invalid: %d  (killed %d%% of valid)\n' \
  "$total" "$killed" "$survived" "$invalid" "$pct" | tee -a "$results"
