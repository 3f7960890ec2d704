#!/usr/bin/env bash
# End-to-end tests of xslvalidate.exe under Wine, against the test engine
# DLL (tests/windows/test_engine.cpp) installed beside it.
#
# Usage: wine_tests.sh GROUP
# GROUP is "prefix" (makes the Wine prefix that the other groups share) or
# one group of cases below. The build passes, in the environment:
#   WINE, WINEPREFIX     the wine launcher and the prefix of this test run
#   XSLV_EXE, XSLV_ENGINE the built program and the test engine DLL
#   XSLV_LAUNCH          launch.exe, which starts a program with arguments
#                        written with \uXXXX escapes (tests/windows/launch.cpp)
#   XSLV_VERSION         the program's version, as its banner gives it
#   XSLV_OBJDUMP         objdump for PE files
#   XSLV_ZIP, XSLV_ZIP_NAME the zip for Windows users and its folder name
#   XSLV_SHARED          the shared invoices, rule sets and schemas
#
# Each group works in its own folder C:\xsltest\GROUP of the prefix, with
# the program and the engine DLL copied to C:\xsltest\GROUP\bin. The engine
# logs every call to bin\engine-calls.log; see test_engine.cpp.
set -u

group=${1:?usage: wine_tests.sh GROUP}

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine turns the UTF-8 bytes of our arguments into UTF-16 by the locale.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset XSLTEST_CREATE_ISOLATE_STATUS XSLTEST_DETACH_STATUS

banner="xslvalidate ${XSLV_VERSION:-}: validates an XML document against XSLT stylesheets"
invalid_arguments="Error: invalid arguments. Expected xml-file schema1-file schema2-file ..."
missing_input="Error: input file does not exist"
detach_error="Error: graal_detach_thread error"

passed=0
failed=0

pass() {
  passed=$((passed + 1))
  echo "ok: $1"
}

fail() {
  failed=$((failed + 1))
  echo "FAIL: $1"
}

# expect_eq CASE WHAT EXPECTED ACTUAL
expect_eq() {
  if [[ "$3" == "$4" ]]; then
    pass "$1: $2"
  elif [[ "$3" == *$'\n'* || "$4" == *$'\n'* ]]; then
    fail "$1: $2 (diff expected actual; options decoded after #)"
    diff <(printf '%s\n' "$3" | decode_options) \
         <(printf '%s\n' "$4" | decode_options) | sed 's/^/  /'
  else
    fail "$1: $2"
    echo "  expected: $(printf '%q' "$3")"
    echo "  actual:   $(printf '%q' "$4")"
  fi
}

# Appends the text of each hex-logged option to its log line.
decode_options() {
  perl -pe 's/^(addProcessorProperty .* )([0-9a-f]+)$/"$1$2  # " . pack("H*", $2)/e'
}

finish() {
  echo "$passed passed, $failed failed"
  [[ $failed -eq 0 && $passed -gt 0 ]]
  exit
}

# The bytes of a string as lowercase hex, as the engine logs options.
hex() {
  printf '%s' "$1" | od -An -v -tx1 | tr -d ' \n'
}

# Console output is compared in a visible form, CR and LF written as the
# two characters \r and \n, so that line ends are compared exactly.
visible() {
  local text=${1//$'\r'/'\r'}
  printf '%s' "${text//$'\n'/'\n'}"
}

# Lines in that visible form as the program writes them in text mode: each
# followed by CR LF.
crlf_lines() {
  local line
  for line in "$@"; do printf '%s\\r\\n' "$line"; done
}

# Lines joined with LF after each, as the engine's log and reports hold them.
lf_lines() {
  local line
  for line in "$@"; do printf '%s\n' "$line"; done
}

# --- The group's folder -----------------------------------------------------

drive_c="$WINEPREFIX/drive_c"
root="$drive_c/xsltest/$group"   # C:\xsltest\GROUP
win_root="C:\\xsltest\\$group"
log="$root/bin/engine-calls.log"

setup_folder() {
  if [[ ! -d "$drive_c/windows" ]]; then
    echo "FAIL: no Wine prefix at $WINEPREFIX (the windows.wine_prefix test makes it)"
    exit 1
  fi
  rm -rf "$root"
  mkdir -p "$root/bin" "$root/in"
  cp "$XSLV_EXE" "$XSLV_ENGINE" "$root/bin/"
  printf '<Invoice/>\n' > "$root/in/inv.xml"
}

# --- Running the program ----------------------------------------------------
# Each run clears the engine's log first and leaves: out and err (standard
# output and error, in visible form), status, and calls (the engine's log,
# "" if none).

out="" err="" status="" calls=""

read_calls() {
  calls=""
  [[ -f "$log" ]] && calls=$(cat "$log")
}

# run_direct LINUX_DIR ARG... : wine runs the program in LINUX_DIR with the
# arguments passed as they are. Wine hands Linux only the low 8 bits of the
# exit status, so `status` is that byte.
run_direct() {
  run_program "$root/bin/xslvalidate.exe" "$@"
}

# run_program LINUX_EXE LINUX_DIR ARG... : run_direct for any program.
run_program() {
  local exe=$1 dir=$2
  shift 2
  rm -f "$log"
  (cd "$dir" && "$WINE" "$exe" "$@" > "$root/stdout" 2> "$root/stderr")
  status=$?
  out=$(visible "$(cat "$root/stdout"; printf x)"); out=${out%x}
  err=$(visible "$(cat "$root/stderr"; printf x)"); err=${err%x}
  read_calls
}

# run_launched LINUX_DIR ARG... : like run_direct, through launch.exe, so
# an argument may give any UTF-16 code unit as \uXXXX.
run_launched() {
  local dir=$1
  shift
  cp "$XSLV_LAUNCH" "$root/bin/"
  run_program "$root/bin/launch.exe" "$dir" "$win_root\\bin\\xslvalidate.exe" "$@"
}

# Quotes one argument for the Windows command line when it needs quotes
# (empty, or holding a space); backslashes before the closing quote are
# doubled so they stay backslashes.
win_quote() {
  local arg=$1
  if [[ -z "$arg" || "$arg" == *" "* ]]; then
    local tail=${arg##*[!\\]}
    printf '"%s%s"' "$arg" "$tail"
  else
    printf '%s' "$arg"
  fi
}

# run_cmd EXE_WIN_DIR WIN_CWD ARG... : cmd.exe runs the program found in
# EXE_WIN_DIR from WIN_CWD through a batch file and echoes %ERRORLEVEL%, so
# `status` is the full 32-bit exit status as Windows sees it. ASCII only.
run_cmd() {
  local exe_dir=$1 cwd=$2
  shift 2
  local line="\"$exe_dir\\xslvalidate.exe\"" arg
  for arg in "$@"; do line+=" $(win_quote "$arg")"; done
  printf '@echo off\r\ncd /d %s\r\n%s\r\necho STATUS=%%ERRORLEVEL%%\r\n' \
    "$cwd" "$line" > "$root/run.bat"
  rm -f "$log"
  "$WINE" cmd /c "$win_root\\run.bat" > "$root/stdout" 2> "$root/stderr"
  local all
  all=$(cat "$root/stdout"; printf x); all=${all%x}
  err=$(visible "$(cat "$root/stderr"; printf x)"); err=${err%x}
  if [[ "$all" =~ ^(.*)STATUS=(-?[0-9]+)$'\r\n'$ ]]; then
    out=$(visible "${BASH_REMATCH[1]}")
    status=${BASH_REMATCH[2]}
  else
    out=$(visible "$all")
    status="(no STATUS line)"
  fi
  read_calls
}

# --- Expected engine logs ---------------------------------------------------

# run_log DATA INPUT STYLESHEET REPORT STATUS : the log lines of one run.
run_log() {
  echo "createProcessorDataWithCapacity thread=ok capacity=3 -> $1"
  echo "addProcessorProperty thread=ok data=$1 $(hex "-s:$2")"
  echo "addProcessorProperty thread=ok data=$1 $(hex "-xsl:$3")"
  echo "addProcessorProperty thread=ok data=$1 $(hex "-o:$4")"
  echo "j_run_transform thread=ok data=$1 -> $5"
}

# The report the engine writes for a run: its three options, a line each.
report_text() {
  lf_lines "-s:$1" "-xsl:$2" "-o:$3"
}

# expect_report CASE LINUX_PATH INPUT STYLESHEET REPORT
expect_report() {
  if [[ -f "$2" ]]; then
    expect_eq "$1" "report at ${2#"$drive_c"/}" "$(report_text "$3" "$4" "$5")" \
      "$(cat "$2")"
  else
    fail "$1: no report at $2"
    echo "  files there: $(ls -A "$(dirname "$2")" 2>&1 | tr '\n' ' ')"
  fi
}

# --- Groups -----------------------------------------------------------------

# A fresh prefix for this test run; the other groups share it.
group_prefix() {
  local start=$SECONDS
  if [[ -z "${WINE:-}" || ! -x "$WINE" ]]; then
    fail "wine not found (install Debian's wine and wine64)"
    finish
  fi
  [[ -d "$WINEPREFIX" ]] && WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null
  rm -rf "$WINEPREFIX"
  "$WINE" wineboot -i > /dev/null 2>&1
  if [[ -d "$drive_c/windows/system32" ]]; then
    pass "prefix made at $WINEPREFIX in $((SECONDS - start)) s"
  else
    fail "wineboot made no prefix at $WINEPREFIX"
  fi
}

# The driver's own errors: the banner, its error line, status 1, and no
# engine call (the DLL is loaded, since the program binds to it at start).
group_driver_errors() {
  setup_folder
  local in="$win_root\\in"
  local -a cases=(
    # name | expected error line | arguments (separated by |)
    "no arguments|$invalid_arguments|"
    "input path alone|$invalid_arguments|$in\\inv.xml"
    "missing input|$missing_input|$in\\missing.xml|s.xsl"
    "empty input path|$missing_input||s.xsl"
    "missing input, relative|$missing_input|missing.xml|a.xsl|b.xsl"
  )
  local entry name error
  for entry in "${cases[@]}"; do
    IFS='|' read -r -a fields <<< "$entry"
    name=${fields[0]}
    error=${fields[1]}
    run_cmd "$win_root\\bin" "$in" "${fields[@]:2}"
    expect_eq "$name" "status" "1" "$status"
    expect_eq "$name" "standard output" "$(crlf_lines "$banner" "$error")" "$out"
    expect_eq "$name" "standard error" "" "$err"
    expect_eq "$name" "engine calls" "$(lf_lines attached)" "$calls"
  done
  expect_eq "driver errors" "files in the input folder" "inv.xml" \
    "$(ls -A "$root/in" | tr '\n' ' ' | sed 's/ $//')"
}

# Non-ASCII arguments, spaces and characters outside the Basic Multilingual
# Plane reach the engine as exactly their UTF-8 bytes, and the report is
# written under the matching file name.
group_utf8_arguments() {
  setup_folder
  local dir="Rechnungen été"
  mkdir -p "$root/$dir"
  local input_name="Ünïcode 𝄞 inv.xml"
  printf '<Invoice/>\n' > "$root/$dir/$input_name"

  local name="absolute paths"
  local input="$win_root\\$dir\\$input_name"
  local stylesheet='C:\rules\règles 😀.xsl'
  local report="$win_root\\$dir\\Ünïcode 𝄞 inv_règles 😀.xml"
  run_direct "$root" "$input" "$stylesheet"
  expect_eq "$name" "status" "0" "$status"
  expect_eq "$name" "standard output" "$(crlf_lines "$banner")" "$out"
  expect_eq "$name" "engine calls" "$(lf_lines attached \
    "graal_create_isolate params=null -> 0" \
    "$(run_log 1 "$input" "$stylesheet" "$report" 0)" \
    "graal_detach_thread thread=ok -> 0")" "$calls"
  # U+1D11E is F0 9D 84 9E in UTF-8, not a pair of encoded surrogates.
  expect_eq "$name" "U+1D11E as four bytes after -s:" "yes" \
    "$([[ "$calls" == *"$(hex '-s:')"*f09d849e* ]] && echo yes || echo no)"
  expect_report "$name" "$root/$dir/Ünïcode 𝄞 inv_règles 😀.xml" \
    "$input" "$stylesheet" "$report"

  name="relative paths"
  printf '<Invoice/>\n' > "$root/$dir/日本 語.xml"
  input="日本 語.xml"
  stylesheet="d:/規則/ß 𐐷.xsl"
  report="日本 語_ß 𐐷.xml"
  run_direct "$root/$dir" "$input" "$stylesheet"
  expect_eq "$name" "status" "0" "$status"
  expect_eq "$name" "engine calls" "$(lf_lines attached \
    "graal_create_isolate params=null -> 0" \
    "$(run_log 1 "$input" "$stylesheet" "$report" 0)" \
    "graal_detach_thread thread=ok -> 0")" "$calls"
  expect_report "$name" "$root/$dir/$report" "$input" "$stylesheet" "$report"
}

# A name holding a lone surrogate is a valid Windows name that no UTF-8
# text names: the tool refuses it before the engine sees it, with one line
# on standard error and status 2, runs made before it standing. A name
# beyond MAX_PATH is found like any other.
group_file_names() {
  setup_folder
  local in="$win_root\\in"
  local tail=": it is not valid Unicode text, and the engine takes file names only as UTF-8"
  local -a cases=(
    # name | option refused, as the error line shows it | stylesheets that
    # run first | arguments after the input (launch.exe's \uXXXX escapes)
    "lone high surrogate|-xsl:s\uD800.xsl||s\uD800.xsl"
    "lone low surrogate after a run|-xsl:t\uDC00.xsl|a.xsl|a.xsl|t\uDC00.xsl|b.xsl"
    "surrogates in reverse order|-xsl:\uDC00\uD800.xsl||\uDC00\uD800.xsl"
  )
  local entry name refused expected_calls data stylesheet
  for entry in "${cases[@]}"; do
    IFS='|' read -r -a fields <<< "$entry"
    name=${fields[0]}
    refused=${fields[1]}
    rm -f "$root"/in/inv_*.xml
    run_launched "$root" "$in\\inv.xml" "${fields[@]:3}"
    expect_eq "$name" "status" "2" "$status"
    expect_eq "$name" "standard output" "$(crlf_lines "$banner")" "$out"
    expect_eq "$name" "standard error" \
      "$(crlf_lines "Cannot represent the file name in option $refused$tail")" "$err"
    expected_calls=$(lf_lines attached "graal_create_isolate params=null -> 0")
    data=0
    for stylesheet in ${fields[2]}; do
      data=$((data + 1))
      expected_calls+=$'\n'$(run_log $data "$in\\inv.xml" "$stylesheet" \
        "$in\\inv_${stylesheet%.xsl}.xml" 0)
    done
    expected_calls+=$'\n'"graal_detach_thread thread=ok -> 0"
    expect_eq "$name" "engine calls" "$expected_calls" "$calls"
  done

  # The existence check resolves "x\.." in the text, so the input exists;
  # the name handed on would not be the one checked.
  name="lone surrogate in a folder the input path leaves"
  run_launched "$root" "$in\\\uDBFF\\..\\inv.xml" s.xsl
  expect_eq "$name" "status" "2" "$status"
  local shown="C:\\u005Cxsltest\\u005Cfile_names\\u005Cin\\u005C\\uDBFF\\u005C..\\u005Cinv.xml"
  expect_eq "$name" "standard error" \
    "$(crlf_lines "Cannot represent the file name in option -s:$shown$tail")" "$err"
  expect_eq "$name" "engine calls" "$(lf_lines attached \
    "graal_create_isolate params=null -> 0" "graal_detach_thread thread=ok -> 0")" "$calls"

  # A folder whose full path is longer than MAX_PATH (260).
  local long="in" part
  for part in 1 2 3 4 5; do
    long+="/folder-$part-of-a-path-longer-than-windows-max-path-allows"
  done
  mkdir -p "$root/$long"
  printf '<Invoice/>\n' > "$root/$long/inv.xml"
  local input="$win_root\\${long//\//\\}\\inv.xml"
  name="input beyond MAX_PATH (${#input} characters)"
  run_direct "$root" "$input" s.xsl
  expect_eq "$name" "status" "0" "$status"
  expect_eq "$name" "standard output" "$(crlf_lines "$banner")" "$out"
  expect_eq "$name" "engine calls" "$(lf_lines attached \
    "graal_create_isolate params=null -> 0" \
    "$(run_log 1 "$input" s.xsl "${input%.xml}_s.xml" 0)" \
    "graal_detach_thread thread=ok -> 0")" "$calls"
  name="missing input beyond MAX_PATH"
  run_direct "$root" "${input%inv.xml}missing.xml" s.xsl
  expect_eq "$name" "status" "1" "$status"
  expect_eq "$name" "standard output" "$(crlf_lines "$banner" "$missing_input")" "$out"
}

# Report paths for inputs written in Windows forms, and the report file
# appears where Windows resolves that path.
group_report_paths() {
  setup_folder
  local r=$win_root
  printf '<Invoice/>\n' > "$root/in/inv01.xml"
  printf '<Invoice/>\n' > "$root/in/x.xml"
  local -a cases=(
    # name | working folder | input | stylesheet | report | file it names
    "drive letter|in|$r\\in\\inv01.xml|D:\\rules\\syntax.xsl|$r\\in\\inv01_syntax.xml|in/inv01_syntax.xml"
    "drive-relative|in|C:inv.xml|s.xsl|C:inv_s.xml|in/inv_s.xml"
    "drive-relative with folder|.|C:in\\inv.xml|t.xsl|C:in\\inv_t.xml|in/inv_t.xml"
    "relative with folder|.|in\\inv.xml|checks/a.b.xsl|in\\inv_a.b.xml|in/inv_a.b.xml"
    "mixed and doubled slashes|.|C:/xsltest\\report_paths//in\\\\inv.xml|s.xsl|C:/xsltest\\report_paths//in\\inv_s.xml|in/inv_s.xml"
    "doubled root slashes|.|C://xsltest/report_paths/in/inv.xml|u.xsl|C://xsltest/report_paths/in\\inv_u.xml|in/inv_u.xml"
    "long-path prefix|.|\\\\?\\$r\\in\\x.xml|s.xsl|\\\\?\\$r\\in\\x_s.xml|in/x_s.xml"
    "directory with trailing backslash|.|$r\\in\\|s.xsl|$r\\in\\_s|in/_s"
  )
  local entry name cwd input stylesheet report file
  for entry in "${cases[@]}"; do
    IFS='|' read -r name cwd input stylesheet report file <<< "$entry"
    rm -f "$root/$file"
    run_direct "$root/$cwd" "$input" "$stylesheet"
    expect_eq "$name" "status" "0" "$status"
    expect_eq "$name" "standard output" "$(crlf_lines "$banner")" "$out"
    expect_eq "$name" "engine calls" "$(lf_lines attached \
      "graal_create_isolate params=null -> 0" \
      "$(run_log 1 "$input" "$stylesheet" "$report" 0)" \
      "graal_detach_thread thread=ok -> 0")" "$calls"
    expect_report "$name" "$root/$file" "$input" "$stylesheet" "$report"
  done
}

# Exit statuses as Windows sees them, through cmd.exe: run statuses pass
# unchanged in all 32 bits, the first nonzero run stops the loop, and a
# failed detach gives 2.
group_exit_statuses() {
  setup_folder
  local in="$win_root\\in"
  local -a cases=(
    # name | detach status | expected status | stylesheets (separated by |)
    "all succeed|0|0|a.xsl|b.xsl|c.xsl"
    "same stylesheet twice|0|0|a.xsl|a.xsl"
    "run status 1|0|1|status1.xsl"
    "run status 2|0|2|status2.xsl"
    "run status 256|0|256|status256.xsl"
    "run status 300|0|300|status300.xsl"
    "run status 65536|0|65536|status65536.xsl"
    "run status -7|0|-7|status-7.xsl"
    "largest run status|0|2147483647|status2147483647.xsl"
    "smallest run status|0|-2147483648|status-2147483648.xsl"
    "stop at the second of three|0|300|a.xsl|status300.xsl|c.xsl"
    "stop at the first|0|-7|status-7.xsl|b.xsl"
    "detach fails|5|2|a.xsl"
    "detach fails after a failing run|5|2|status300.xsl|c.xsl"
  )
  local entry name detach expected stylesheet expected_calls run_status
  local expected_out data
  for entry in "${cases[@]}"; do
    IFS='|' read -r -a fields <<< "$entry"
    name=${fields[0]}
    detach=${fields[1]}
    expected=${fields[2]}
    rm -f "$root"/in/inv_*.xml
    XSLTEST_DETACH_STATUS=$detach run_cmd "$win_root\\bin" "$in" \
      "$in\\inv.xml" "${fields[@]:3}"
    expect_eq "$name" "status" "$expected" "$status"
    expected_out=$(crlf_lines "$banner")
    [[ $detach != 0 ]] && expected_out=$(crlf_lines "$banner" "$detach_error")
    expect_eq "$name" "standard output" "$expected_out" "$out"

    # The runs up to and including the first nonzero one, then the detach.
    expected_calls=$(lf_lines attached "graal_create_isolate params=null -> 0")
    data=0
    for stylesheet in "${fields[@]:3}"; do
      data=$((data + 1))
      run_status=0
      [[ $stylesheet =~ ^status(-?[0-9]+)\.xsl$ ]] && run_status=${BASH_REMATCH[1]}
      expected_calls+=$'\n'$(run_log $data "$in\\inv.xml" "$stylesheet" \
        "$in\\inv_${stylesheet%.xsl}.xml" "$run_status")
      [[ $run_status != 0 ]] && break
    done
    expected_calls+=$'\n'"graal_detach_thread thread=ok -> $detach"
    expect_eq "$name" "engine calls" "$expected_calls" "$calls"

    # Reports exist for the runs made and for no other stylesheet.
    local made=() skipped=() seen_failure=0
    for stylesheet in "${fields[@]:3}"; do
      if [[ $seen_failure == 0 ]]; then
        made+=("inv_${stylesheet%.xsl}.xml")
        [[ $stylesheet =~ ^status(-?[0-9]+)\.xsl$ && ${BASH_REMATCH[1]} != 0 ]] &&
          seen_failure=1
      fi
    done
    expect_eq "$name" "reports" \
      "$(printf '%s\n' "${made[@]}" | sort -u | tr '\n' ' ')" \
      "$(cd "$root/in" && ls inv_*.xml 2>/dev/null | sort | tr '\n' ' ')"
  done
}

# A failed isolate creation: its line on standard error, status 1, no run
# and no detach.
group_isolate_failure() {
  setup_folder
  local in="$win_root\\in" create
  for create in 3 -1; do
    local name="graal_create_isolate returns $create"
    XSLTEST_CREATE_ISOLATE_STATUS=$create run_cmd "$win_root\\bin" "$in" \
      "$in\\inv.xml" a.xsl b.xsl
    expect_eq "$name" "status" "1" "$status"
    expect_eq "$name" "standard output" "$(crlf_lines "$banner")" "$out"
    expect_eq "$name" "standard error" "$(crlf_lines "graal_create_isolate error")" "$err"
    expect_eq "$name" "engine calls" \
      "$(lf_lines attached "graal_create_isolate params=null -> $create")" "$calls"
    expect_eq "$name" "reports" "inv.xml" "$(ls -A "$root/in" | tr '\n' ' ' | sed 's/ $//')"
  done
}

# Without the engine DLL the program does not start: Windows refuses to
# load it (STATUS_DLL_NOT_FOUND, 0xC0000135) and not even the banner shows.
group_missing_engine() {
  setup_folder
  mkdir -p "$root/alone"
  cp "$XSLV_EXE" "$root/alone/"
  local in="$win_root\\in" name="engine DLL missing"
  run_cmd "$win_root\\alone" "$in" "$in\\inv.xml" a.xsl
  expect_eq "$name" "status" "-1073741515" "$status"
  expect_eq "$name" "standard output" "" "$out"
  expect_eq "$name" "reports" "inv.xml" "$(ls -A "$root/in" | tr '\n' ' ' | sed 's/ $//')"

  # The same program runs once the DLL is beside it.
  cp "$XSLV_ENGINE" "$root/alone/"
  name="engine DLL beside the program"
  run_cmd "$win_root\\alone" "$in" "$in\\inv.xml" a.xsl
  expect_eq "$name" "status" "0" "$status"
  expect_eq "$name" "standard output" "$(crlf_lines "$banner")" "$out"
}

# The program is a 64-bit console program that imports exactly the five
# engine calls from libsaxon-hec-12.5.0.dll, and needs no runtime DLL
# beyond Windows' own.
group_imports() {
  local dump
  if ! dump=$("$XSLV_OBJDUMP" -p "$XSLV_EXE"); then
    fail "objdump -p $XSLV_EXE"
    finish
  fi
  expect_eq "program" "file format" "pei-x86-64" \
    "$(sed -n 's/.*file format \(.*\)/\1/p' <<< "$dump" | head -n1)"
  expect_eq "program" "subsystem" "Windows CUI" \
    "$(sed -n 's/^Subsystem.*(\(.*\))$/\1/p' <<< "$dump")"
  local engine_imports
  engine_imports=$(awk '/DLL Name:/ { in_engine = ($3 == "libsaxon-hec-12.5.0.dll") }
                        in_engine && NF == 3 && $1 ~ /^[0-9a-f]+$/ { print $3 }' \
                   <<< "$dump" | sort | tr '\n' ' ')
  expect_eq "program" "imports from libsaxon-hec-12.5.0.dll" \
    "addProcessorProperty createProcessorDataWithCapacity graal_create_isolate graal_detach_thread j_run_transform " \
    "$engine_imports"
  # Everything else comes from DLLs that every Windows has.
  local others
  others=$(awk '/DLL Name:/ { print $3 }' <<< "$dump" | tr 'A-Z' 'a-z' | sort |
           grep -v -x -E 'libsaxon-hec-12\.5\.0\.dll|kernel32\.dll|msvcrt\.dll|ucrtbase\.dll|api-ms-win-crt-[a-z-]+-l1-1-0\.dll' |
           tr '\n' ' ')
  expect_eq "program" "DLLs beyond Windows' own and the engine" "" "$others"
}

# xslvalidate-verdict.exe against the test engine, which stands in for the
# summary stylesheet with fixture summaries "<report>.summary": statuses,
# text and JSON output, a run that fails, a report the run did not write.
group_verdict() {
  setup_folder
  cp "$XSLV_VERDICT_EXE" "$root/bin/"
  local in=$root/in
  # Fixture summaries: a warning; a fatal finding with non-ASCII text over
  # two lines and no location; a foreign report; a stale report's summary.
  printf 'svrl\t1\nfailed-assert\tW-1\twarning\t/Invoice\tx\tcheck this\n' > "$in/inv_a.xml.summary"
  printf 'svrl\t2\nsuccessful-report\tF-1\tfatal\t\\-\t\\-\tMüller € 𝄞\\n  zweite Zeile\nfailed-assert\t\\-\t\\-\t/\tnot(y)\t"q" \\\\\n' \
    > "$in/inv_b.xml.summary"
  printf 'not-svrl\t{http://www.w3.org/1999/xhtml}html\n' > "$in/inv_c.xml.summary"
  printf 'svrl\t1\nfailed-assert\tOLD-1\tfatal\t/\tx\tstale\n' > "$in/inv_nowrite.xml.summary"
  # A rule set whose report has no fired rule and no finding, as some
  # generators write them; and one whose rule contexts name a namespace no
  # element of the document is in.
  printf 'svrl\t0\n' > "$in/inv_e.xml.summary"
  printf 'svrl\t0\n' > "$in/inv_w.xml.summary"
  printf 'urn:other\n' > "$in/w.xsl.contexts"
  printf 'urn:x\n' > "$in/a.xsl.contexts"
  # The document as the summary stylesheet reads it before any rule set.
  printf 'not-svrl\t{urn:x}Invoice\turn:x\n' > "$in/inv.xml.summary"

  local a_lines=("a.xsl -> inv_a.xml" "  warning W-1 at /Invoice: check this"
                 "  counts: fatal 0, error 0, warning 1, information 0")
  local name
  run_verdict() {
    rm -f "$log" "$in"/inv_*.xml
    (cd "$in" && "$WINE" "$root/bin/xslvalidate-verdict.exe" "$@" \
       > "$root/stdout" 2> "$root/stderr")
    status=$?
    out=$(visible "$(cat "$root/stdout"; printf x)"); out=${out%x}
    err=$(visible "$(cat "$root/stderr"; printf x)"); err=${err%x}
    read_calls
  }

  name="accepted"
  run_verdict inv.xml a.xsl
  expect_eq "$name" "status" "0" "$status"
  expect_eq "$name" "standard output" \
    "$(crlf_lines "${a_lines[@]}" "accepted: inv.xml")" "$out"
  expect_eq "$name" "standard error" "" "$err"

  # An option after the document and rule sets is still an option.
  local placement
  for placement in before after; do
    name="warnings as errors, option $placement the operands"
    if [ "$placement" = before ]; then
      run_verdict --warnings-as-errors inv.xml a.xsl
    else
      run_verdict inv.xml a.xsl --warnings-as-errors
    fi
    expect_eq "$name" "status" "1" "$status"
    expect_eq "$name" "standard output" \
      "$(crlf_lines "${a_lines[@]}" "rejected: inv.xml (1 finding rejects it) [rule-findings]")" "$out"
  done

  name="rejected, UTF-8 and a finding without flag"
  run_verdict inv.xml a.xsl b.xsl
  expect_eq "$name" "status" "1" "$status"
  expect_eq "$name" "standard output" "$(crlf_lines "${a_lines[@]}" \
    "b.xsl -> inv_b.xml" "  fatal F-1: Müller € 𝄞 zweite Zeile" \
    "  error (no id) at /: \"q\" \\" \
    "  counts: fatal 1, error 1, warning 0, information 0" \
    "rejected: inv.xml (2 findings reject it) [rule-findings]")" "$out"

  name="JSON"
  run_verdict --json inv.xml b.xsl
  expect_eq "$name" "status" "1" "$status"
  expect_eq "$name" "standard output" "$(crlf_lines "{" \
    '  "document": "inv.xml",' '  "warningsAsErrors": false,' '  "scenario": null,' \
    '  "configuration": null,' '  "schema": {' '    "state": "not asked",' \
    '    "schemas": [],' '    "findings": [],' '    "problem": null' '  },' '  "ruleSets": [' \
    '    {' '      "stylesheet": "b.xsl",' '      "report": "inv_b.xml",' \
    '      "run": "completed",' '      "runStatus": 0,' '      "svrl": true,' \
    '      "firedRules": true,' '      "findings": [' \
    '        {"kind": "successful-report", "id": "F-1", "flag": "fatal", "severity": "fatal", "overridden": false, "rejects": true, "line": null, "column": null, "location": null, "test": null, "message": "Müller € 𝄞\n  zweite Zeile"},' \
    '        {"kind": "failed-assert", "id": null, "flag": null, "severity": "error", "overridden": false, "rejects": true, "line": null, "column": null, "location": "/", "test": "not(y)", "message": "\"q\" \\"}' \
    '      ],' '      "counts": {"fatal": 1, "error": 1, "warning": 0, "information": 0},' \
    '      "problem": null' '    }' '  ],' '  "verdict": "rejected",' \
    '  "rejectingFindings": 2,' '  "validationReport": null,' '  "assessment": null,' \
    '  "assessmentBy": null,' '  "assessmentOverrides": false,' \
    '  "reason": "2 findings reject the document",' \
    '  "reasonCode": "rule-findings",' '  "parserError": null,' '  "engineMessages": null' '}')" "$out"

  local -a none_cases=(
    # name | expected last line | arguments (separated by |)
    "not SVRL|no verdict: inv.xml: c.xsl: the report is not SVRL (its root element is {http://www.w3.org/1999/xhtml}html) [rule-engine-error]|inv.xml|a.xsl|c.xsl"
    "not XML|no verdict: inv.xml: d.xsl: the report could not be read as XML [rule-engine-error]|inv.xml|d.xsl|a.xsl"
    "run fails|no verdict: inv.xml: status5.xsl: the run failed with status 5 [rule-engine-error]|inv.xml|a.xsl|status5.xsl|b.xsl"
    "report not written|no verdict: inv.xml: nowrite.xsl: the run wrote no report (the file at its path is not new) [rule-engine-error]|inv.xml|nowrite.xsl"
    "wrong rule set|no verdict: inv.xml: w.xsl: it is the wrong rule set for this document: its rules apply to elements in urn:other, and the document (root element {urn:x}Invoice) has none; it may be for another syntax [wrong-rule-set]|inv.xml|a.xsl|w.xsl"
    "read-only report|no verdict: inv.xml: ro.xsl: the report inv_ro.xml exists and is read-only [output-unwritable]|inv.xml|ro.xsl"
  )
  local entry
  for entry in "${none_cases[@]}"; do
    IFS='|' read -r -a fields <<< "$entry"
    name=${fields[0]}
    # An older report at the path that nowrite.xsl does not write.
    rm -f "$log" "$in"/inv_*.xml
    printf '<old/>\n' > "$in/inv_nowrite.xml"
    # A read-only report, which the verdict's rename must not replace.
    printf '<old/>\n' > "$in/inv_ro.xml" && chmod a-w "$in/inv_ro.xml"
    (cd "$in" && "$WINE" "$root/bin/xslvalidate-verdict.exe" "${fields[@]:2}" \
       > "$root/stdout" 2> "$root/stderr")
    status=$?
    out=$(cat "$root/stdout")
    expect_eq "$name" "status" "3" "$status"
    expect_eq "$name" "last line" "${fields[1]}"$'\r' "$(tail -n 1 <<< "$out")"
    expect_eq "$name" "stale finding not shown" "no" \
      "$([[ "$out" == *OLD-1* ]] && echo yes || echo no)"
    [[ $name == "run fails" ]] && expect_eq "$name" "later stylesheet not run" "yes" \
      "$(grep -q -F "  no verdict: not run, an earlier run failed" <<< "$out" && echo yes || echo no)"
  done

  name="no fired rule, no finding"
  run_verdict inv.xml a.xsl e.xsl
  expect_eq "$name" "status" "0" "$status"
  expect_eq "$name" "last line" "accepted: inv.xml"$'\r' "$(tail -n 1 "$root/stdout")"

  # The document's own faults, decided on its first bytes once the engine
  # has read the probe document: rejected, no rule set run.
  printf '<Invoice>' > "$in/cut.xml"
  printf '<?xml version="1.0"?>\r\n<!DOCTYPE x>\r\n<x/>' > "$in/dt.xml"
  : > "$in/empty.xml"
  local fault
  for fault in "cut.xml|not-well-formed" "dt.xml|doctype-refused" "empty.xml|not-well-formed"; do
    IFS='|' read -r -a fields <<< "$fault"
    name="document fault ${fields[0]}"
    run_verdict "${fields[0]}" a.xsl
    expect_eq "$name" "status" "1" "$status"
    expect_eq "$name" "reason code" "yes" \
      "$(tail -n 1 "$root/stdout" | grep -q "^rejected: ${fields[0]}: .* \[${fields[1]}\]"$'\r'"\$" && echo yes || echo no)"
    expect_eq "$name" "rule set not run" "no" \
      "$([[ -e $in/${fields[0]%.xml}_a.xml ]] && echo yes || echo no)"
  done

  name="engine does not start"
  rm -f "$log"
  (cd "$in" && XSLTEST_CREATE_ISOLATE_STATUS=4 "$WINE" "$root/bin/xslvalidate-verdict.exe" \
     inv.xml a.xsl > "$root/stdout" 2> "$root/stderr")
  status=$?
  expect_eq "$name" "status" "3" "$status"
  expect_eq "$name" "standard output" \
    "no verdict: inv.xml: the engine could not be started [engine-failed]"$'\r' "$(cat "$root/stdout")"

  # Scenarios: the configuration reader and the scenario choice are
  # stood in for by fixture summaries; the schema step is the host's own
  # (MSXML 6, here Wine's), against the shared UBL 2.1 schemas. A valid
  # invoice goes on to its rule sets; an invalid one is rejected by its
  # schema finding without them; a schema that is not one fails the step.
  printf '<s/>\n' > "$in/noschema.xml"
  printf '<s/>\n' > "$in/withschema.xml"
  printf '<s/>\n' > "$in/notaschema.xml"
  printf '<x/>\n' > "$in/inv.xsd"
  printf '<x/>\n' > "$in/a.xsl"
  cp -r "$XSLV_SHARED/schemas/ubl-2.1" "$in/ubl"
  cp "$XSLV_SHARED/invoices/ubl/guide-example1.xml" "$in/good.xml"
  sed 's|</cbc:ID>|</cbc:ID><cbc:Unknown>x</cbc:Unknown>|' "$in/good.xml" > "$in/bad.xml"
  printf 'scenarios\tWine\nscenario\tPlain\nmatch\ttrue()\nschematron\ta.xsl\tA\n' \
    > "$in/noschema.xml.summary"
  printf 'scenarios\tWine\nscenario\tUBL\nmatch\ttrue()\nschema\tubl/maindoc/UBL-Invoice-2.1.xsd\tUBL\nschematron\ta.xsl\tA\n' \
    > "$in/withschema.xml.summary"
  printf 'scenarios\tWine\nscenario\tTyped\nmatch\ttrue()\nschema\tinv.xsd\tTyped\nschematron\ta.xsl\tA\n' \
    > "$in/notaschema.xml.summary"
  local doc
  for doc in inv good bad; do printf '1\n' > "$in/$doc.xml.match"; done
  cp "$in/inv_a.xml.summary" "$in/good_a.xml.summary"
  name="scenario without schema"
  run_verdict --svrl --scenarios noschema.xml inv.xml
  expect_eq "$name" "status" "0" "$status"
  # Without -o the reports go to the current folder, named as such.
  expect_eq "$name" "standard output" "$(crlf_lines "scenario: Plain (noschema.xml)" \
    'a.xsl -> .\inv_a.xml' "${a_lines[@]:1}" "accepted: inv.xml")" "$out"
  name="scenario with schema, valid invoice"
  run_verdict --svrl --scenarios withschema.xml good.xml
  expect_eq "$name" "status" "0" "$status"
  expect_eq "$name" "standard output" "$(crlf_lines "scenario: UBL (withschema.xml)" \
    "schema ubl/maindoc/UBL-Invoice-2.1.xsd: valid" 'a.xsl -> .\good_a.xml' \
    "${a_lines[@]:1}" "accepted: good.xml")" "$out"
  name="scenario with schema, invalid invoice"
  run_verdict --json --svrl --scenarios withschema.xml bad.xml
  expect_eq "$name" "status" "1" "$status"
  expect_eq "$name" "schema state" "yes" \
    "$(grep -q -F '"state": "invalid"' "$root/stdout" && echo yes || echo no)"
  expect_eq "$name" "schema finding" "1" "$(grep -c -F '{"kind": "schema"' "$root/stdout")"
  expect_eq "$name" "rule set not run" "no" "$([[ -e $in/bad_a.xml ]] && echo yes || echo no)"
  expect_eq "$name" "verdict" "yes" \
    "$(grep -q -F '"verdict": "rejected"' "$root/stdout" && echo yes || echo no)"
  name="scenario whose schema is not one"
  run_verdict --svrl --scenarios notaschema.xml inv.xml
  expect_eq "$name" "status" "3" "$status"
  expect_eq "$name" "last line" "yes" \
    "$(tail -n 1 "$root/stdout" | grep -q '^no verdict: inv.xml: the XML Schema inv.xsd could not be compiled: ' && echo yes || echo no)"
  expect_eq "$name" "rule set not run" "no" "$([[ -e $in/inv_a.xml ]] && echo yes || echo no)"
  # The configuration's report step: a scenario with createReport; the
  # report is written beside the document, its input (kept) names the
  # document by a file URI of its drive and carries the document's SHA-256
  # as the exe computed it, which must be the one computed here.
  printf '<x/>\n' > "$in/r.xsl"
  printf 'scenarios\tWine\nscenario\tReported\nmatch\ttrue()\nschematron\ta.xsl\tA\nreport\tr.xsl\n' \
    > "$in/reported.xml.summary"
  printf '<s/>\n' > "$in/reported.xml"
  name="scenario with its report"
  run_verdict --json --svrl --serialize-report-input --scenarios reported.xml inv.xml
  expect_eq "$name" "status" "0" "$status"
  expect_eq "$name" "report written" "yes" "$([ -s "$in/inv-report.xml" ] && echo yes || echo no)"
  expect_eq "$name" "assessment" "yes" \
    "$(grep -q -F '"assessment": "accept"' "$root/stdout" && echo yes || echo no)"
  local digest
  digest=$(python3 -c 'import base64, hashlib, sys
print(base64.b64encode(hashlib.sha256(open(sys.argv[1], "rb").read()).digest()).decode())' "$in/inv.xml")
  expect_eq "$name" "digest" "yes" \
    "$(grep -q -F "<in:hashValue>$digest</in:hashValue>" "$in/inv-report-input.xml" && echo yes || echo no)"
  expect_eq "$name" "document URI" "yes" \
    "$(grep -q -E '<in:documentReference>file:///[A-Za-z]:/[^<]*/inv.xml</in:documentReference>' "$in/inv-report-input.xml" && echo yes || echo no)"
  rm -f "$in/inv-report.xml" "$in/inv-report-input.xml"

  rm -f "$in/inv.xml.match"
  name="scenario configuration refused"
  run_verdict --scenarios missing.xml inv.xml
  expect_eq "$name" "status" "2" "$status"
  expect_eq "$name" "standard error" \
    "$(crlf_lines "xslvalidate-verdict: configuration-invalid: scenarios configuration missing.xml refused: the file does not exist")" "$err"

  # A batch: a folder with a subfolder, reports in a report folder (the
  # fixture summaries placed where those reports go), JSON Lines, JUnit and
  # pages; one worker on Windows whatever --jobs says.
  name="batch"
  rm -rf "$in/batch" "$in/out" "$in/pages" "$in/junit.xml"
  mkdir -p "$in/batch/sub" "$in/out/sub"
  cp "$in/inv.xml" "$in/batch/inv.xml"
  cp "$in/inv.xml" "$in/batch/sub/inv.xml"
  cp "$in/inv.xml.summary" "$in/batch/inv.xml.summary"
  cp "$in/inv.xml.summary" "$in/batch/sub/inv.xml.summary"
  cp "$in/inv_a.xml.summary" "$in/out/inv_a.xml.summary"
  cp "$in/inv_a.xml.summary" "$in/out/sub/inv_a.xml.summary"
  run_verdict --json --jobs 2 --rules a.xsl --report-dir out --junit junit.xml --pages pages batch
  expect_eq "$name" "status" "0" "$status"
  expect_eq "$name" "JSON lines" "2" "$(grep -c '"verdict": "accepted"' "$root/stdout")"
  expect_eq "$name" "summary" "documents: 2 (accepted 2, rejected 0, no verdict 0)"$'\r' \
    "$(head -n 1 "$root/stderr")"
  local made
  for made in junit.xml pages/inv.xml.html pages/sub/inv.xml.html; do
    expect_eq "$name" "$made written" "yes" "$([ -s "$in/$made" ] && echo yes || echo no)"
  done
  # The engine here gives no source lines (but the invoice's number): the
  # page says so beside its finding, and names the document without its
  # folder.
  expect_eq "$name" "page: lines not given" "yes" \
    "$(grep -q 'this host cannot give them' "$in/pages/sub/inv.xml.html" && echo yes || echo no)"
  expect_eq "$name" "page: finding" "yes" \
    "$(grep -q '>W-1</td>' "$in/pages/sub/inv.xml.html" && echo yes || echo no)"
  expect_eq "$name" "page: invoice number" "yes" \
    "$(grep -q '<dd>INV-1</dd>' "$in/pages/sub/inv.xml.html" && echo yes || echo no)"
  expect_eq "$name" "page: document" "yes" \
    "$(grep -q '<dd>inv.xml</dd>' "$in/pages/sub/inv.xml.html" && echo yes || echo no)"

  local usage_entry
  # Standard input is a device here, never read for a document: with no
  # document named, -s has nothing to check; and -h, which takes no value
  # now, needs --scenarios.
  for usage_entry in "no arguments|" "unknown option|--yaml|inv.xml|a.xsl" \
                     "missing document|missing.xml|a.xsl" \
                     "no document and no input|--scenarios|noschema.xml" \
                     "html without scenarios|-h|inv.xml|a.xsl"; do
    IFS='|' read -r -a fields <<< "$usage_entry"
    (cd "$in" && "$WINE" "$root/bin/xslvalidate-verdict.exe" "${fields[@]:1}" \
       < /dev/null > "$root/stdout" 2> "$root/stderr")
    status=$?
    expect_eq "${fields[0]}" "status" "2" "$status"
    expect_eq "${fields[0]}" "standard output" "" "$(cat "$root/stdout")"
  done

  # A scratch folder of a call that is gone (Ctrl-C removes nothing on
  # Windows) is removed by the next call.
  local temp
  temp=$(find "$drive_c/users" -maxdepth 4 -type d -iname temp 2>/dev/null | head -n 1)
  expect_eq "verdict" "temporary folder found" "yes" "$([ -n "$temp" ] && echo yes)"
  if [ -n "$temp" ]; then
    mkdir -p "$temp/xslvalidate-verdict-999999-1"
    touch "$temp/xslvalidate-verdict-999999-1/summary.txt"
    (cd "$in" && "$WINE" "$root/bin/xslvalidate-verdict.exe" inv.xml a.xsl > /dev/null 2>&1)
  fi

  # Every run removed its scratch folder.
  expect_eq "verdict" "scratch folders left" "" \
    "$(find "$drive_c" -maxdepth 7 -type d -name 'xslvalidate-verdict-*' 2>/dev/null)"
}

# The zip for Windows users holds the program, README.md and LICENSE in one
# folder, and its program is the one just built.
group_zip() {
  local listing
  listing=$(cmake -E tar tf "$XSLV_ZIP" | sort | tr '\n' ' ')
  local d=$XSLV_ZIP_NAME
  expect_eq "zip" "entries" \
    "$d/ $d/LICENSE $d/README.md $d/xslvalidate-verdict.exe $d/xslvalidate.exe " "$listing"
  local tmp
  tmp=$(mktemp -d)
  (cd "$tmp" && cmake -E tar xf "$XSLV_ZIP")
  expect_eq "zip" "program is the built one" "same" \
    "$(cmp -s "$tmp/$d/xslvalidate.exe" "$XSLV_EXE" && echo same || echo differs)"
  rm -rf "$tmp"
}

case "$group" in
  prefix | driver_errors | utf8_arguments | file_names | report_paths | \
  exit_statuses | isolate_failure | missing_engine | verdict | imports | zip)
    "group_$group"
    ;;
  *)
    echo "unknown group: $group"
    exit 2
    ;;
esac
finish
