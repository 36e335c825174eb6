#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz and runs each one for a fixed
# time, one target per core at a time, starting from the corpus kept in the
# repository (fuzz/corpus/TARGET, up to a few hundred small inputs) and the one
# grown by earlier runs (build-fuzz/corpus/TARGET). Exits non-zero when a
# target finds an input that breaks a check; the input is left in
# build-fuzz/artifacts/ and belongs, once the fault is fixed, under
# tests/fuzz_regressions/TARGET/, where the test suite replays it.
# With DLV_FUZZ_KEEP=1 the inputs that reach new code are merged into
# fuzz/corpus/TARGET afterwards (up to 512 bytes each), so that the next run,
# on any machine, starts where this one ended.
# Usage: tools/fuzz.sh [SECONDS_PER_TARGET] [TARGET ...]   (default 30, all)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
targets=("$@")
# Every target in fuzz/targets.cmake unless some are named.
((${#targets[@]})) || mapfile -t targets < <(sed -n 's/^ *\([a-z_]*\):dlv_[a-z]*$/\1/p' fuzz/targets.cmake)
dir=build-fuzz

cmake -S . -B "$dir" -DDLV_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
  -DDLV_BUILD_TESTS=OFF -DDLV_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

# A few seeds per target, so that short runs start from valid inputs; the
# corpus grows across runs in build-fuzz/corpus/TARGET.
seed() {  # seed TARGET NAME BYTES (printf format)
  local corpus="$dir/corpus/$1"
  mkdir -p "$corpus"
  [ -e "$corpus/seed-$2" ] || printf "$3" >"$corpus/seed-$2"
}
seed afsep comma '\002\000\001,a,b,,c'
seed afsep multi '\001\000\002;;x;;y;;;z'
seed reader log 't\nTime,RPM,MAP\n1, 800 ,30\r\n2,900,40\r3,1000,50\n'
seed reader odd 't\n\357\273\277A,B\260\n1e999,\t2\n,,\n-0,nan\r\n'
seed reader long '\377\004A,BB,CCC,'
seed blm takes '500|30|128\n900|45|1e3\n400|105|-7\n3200|15|2.5\n'
seed blm odd ' 800 |+35.0|1e308\n-0|104.999|-1e308\n1600|55|x|abc\n'
seed curve small '\000\144\000\001\002\003\200\005\373\010'
seed expression filter 'ECT > 80 && abs(TPS - TPS[-1]) < 2'
seed expression braces '{O2 (mV)} / 100 + #1[-2] * (RPM >= 800 ? 1 : 0)'
# Runs: \001, a count byte k and a piece stand for the piece (k + 1) x 4096
# times (see expandRuns in fuzz/workbench_checks.h), so that nesting deep
# enough to run a stack out fits a short input.
seed workspace deep '{"tables": [], "charts": \x01\x0e{"a":\x011\x01\x0e}\x01}'
seed workspace lists '{"tables": [], "charts": \x01\xff[\x01\x01\xff]\x01}'
seed workspace example '{"channels": [{"name": "dTPS", "expr": "TPS - TPS[-1]"}], "tables": [{"name": "B", "x": "MAP", "xAxis": [30, 40], "y": "RPM", "yAxis": [800, 1000], "z": "{O2 (mV)}", "stat": "median", "minHits": 1, "filter": "abs(dTPS) < 5"}], "charts": {"panes": []}}'
seed columns plain '\005\021-1.5,22,.5,7.,-0\n12345678,1.2345678,--1,1..2, 3 \n9,,x,1e3,+4\n'
seed chart_page page '{"charts": {"panes": [{"channels": ["RPM", {"name": "MAP", "color": "#d55e00"}]}, {"type": "scatter", "x": "RPM", "y": "BLM", "color": "MAP"}]}}'
seed chart_page none '{"filter": "RPM > 800"}'
seed chart_page filter '{"charts": {"filter": "ECT > 80 && RPM > 600", "panes": [{"channels": ["Load"]}]}}'
seed curve doubles '\001\020\001\000\000\000\000\000\000\360\077\000\000\000\000\000\000\000\100'
seed number plain ' -12.5e-3 '
seed not_a_log elf '\177ELF\002\001\001\000\000\000\000\000\n\220\350\001A,B\r\000'
seed not_a_log log 't\nTime,RPM\n0,800\n'
seed not_a_log long '\376\000\001\002\303\251\n\377'
# Long numbers: 0xFF, n, then a text whose "~c" stands for n x 64 + 1 bytes c.
seed number long-large '\377\007''1~0e-1'
seed number long-tiny '\377\007''0.~01'
seed number long-cancel '\377\007''0.~015e450'
seed number long-point '\377\020''-1.~99e-300'
seed file_writing png '\000\000\020\000\000\200\100\001\002\003\377\005\201\177'
seed file_writing svg '\001\000\004\000\001\060\040\000\010\020\030'
seed file_writing text '\002\012\000\000\002,30,40\n800,118.00,\n1200,,132.00\n'
seed paste map '\011\t20\t30\n400\t1\t2.5\n800\t-3\t4e1\n'
seed paste axis '\000 20, 30;40 1e2'
# mlg starts from fuzz/corpus/mlg alone: small logs written by the tests' MLG writer.

cat >"$dir/log.dict" <<'DICT'
","
"\x0d\x0a"
"\x0d"
"\x0a"
" "
"\x09"
"."
"-"
"+"
"e"
"E"
"e+"
"e-"
"1e999"
"1e-999"
"0.5"
"400"
"3200"
"105"
"|"
"\xef\xbb\xbf"
"\xc3\xbc"
"\xb0"
DICT

cat >"$dir/workbench.dict" <<'DICT'
"{"
"}"
"["
"]"
"[-1]"
"#"
"?"
":"
"&&"
"||"
"!"
"=="
"!="
"<="
"abs("
"min("
"max("
"sqrt("
","
"RPM"
"{O2 (mV)}"
"\"channels\""
"\"tables\""
"\"charts\""
"\"name\""
"\"expr\""
"\"xAxis\""
"\"yAxis\""
"\"stat\""
"\"minHits\""
"\"target\""
"\"filter\""
"\"diff%\""
"\"median\""
"\x01\x0f[\x01"
"\x01\x0f{\"a\":\x01"
"\\u0000"
"\x00"
DICT

cat >"$dir/mlg.dict" <<'DICT'
"MLVLG\x00"
"\x00\x01"
"\x00\x02"
"\x00\x00\x00\x00"
"\xff\xff"
"\x3f\x80\x00\x00"
"\x7f\xc0\x00\x00"
"\x7f\x80\x00\x00"
"\x01"
"\x07"
"\x0a"
"\x0c"
"Time"
"Capture Date: "
DICT

cat >"$dir/text.dict" <<'DICT'
";"
"\x09"
","
", "
"\x22"
"#"
"MARK"
"%DataLog%"
"Channel : "
"\x0d\x0a"
"\x0d"
"\x0a"
"On"
"Off"
"12,5"
"14:15:46.020"
"\xff\xfe"
"\xfe\xff"
"\xef\xbb\xbf"
"\x22Capture Date: "
"Time (msec)"
"[rpm]"
"Time"
DICT

mkdir -p "$dir/artifacts"
# One target per core at a time; each writes its own log.
run_target() {
  local target=$1 corpus="$dir/corpus/$1" extra=() dict=()
  mkdir -p "$corpus"
  [ -d "fuzz/corpus/$target" ] && extra+=("fuzz/corpus/$target")
  [ -d "tests/fuzz_regressions/$target" ] && extra+=("tests/fuzz_regressions/$target")
  case $target in reader | blm | number | columns) dict=(-dict="$dir/log.dict") ;; expression | workspace) dict=(-dict="$dir/workbench.dict") ;;
    mlg) dict=(-dict="$dir/mlg.dict") ;; text_log | detect) dict=(-dict="$dir/text.dict") ;; esac
  "$dir/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=3072 -max_len=8192 \
    -print_final_stats=1 -artifact_prefix="$dir/artifacts/$target-" "${dict[@]}" "$corpus" "${extra[@]}" \
    >"$dir/fuzz_$target.log" 2>&1
}
jobs=$(nproc)
pids=()
for target in "${targets[@]}"; do
  while (($(jobs -rp | wc -l) >= jobs)); do wait -n || true; done
  echo "== fuzz_$target for ${seconds}s"
  run_target "$target" &
  pids+=($!)
done
failed=()
for i in "${!targets[@]}"; do
  target=${targets[$i]}
  if ! wait "${pids[$i]}"; then
    failed+=("$target")
    grep -E "check[A-Za-z]+:|ERROR|SUMMARY|Test unit written" "$dir/fuzz_$target.log" || tail -20 "$dir/fuzz_$target.log"
  else
    echo "fuzz_$target: $(grep -E "^Done" "$dir/fuzz_$target.log" | head -1)"
  fi
done

if [ "${DLV_FUZZ_KEEP:-0}" = 1 ]; then
  for target in "${targets[@]}"; do
    mkdir -p "fuzz/corpus/$target"
    "$dir/fuzz/fuzz_$target" -merge=1 -max_len=512 "fuzz/corpus/$target" "$dir/corpus/$target" \
      >"$dir/merge_$target.log" 2>&1 || true
    echo "fuzz/corpus/$target: $(ls "fuzz/corpus/$target" | wc -l) inputs"
  done
fi

if ((${#failed[@]})); then
  echo "Fuzzing found faults in: ${failed[*]} (inputs in $dir/artifacts/, logs in $dir/fuzz_TARGET.log)"
  exit 1
fi
echo "Fuzzing found nothing in ${#targets[@]} target(s), ${seconds}s each."
