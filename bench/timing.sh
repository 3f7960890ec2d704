# Timing helpers the bench scripts source.

now() { date +%s.%N; }
median() { python3 -c 'import statistics,sys; print("%.3f" % statistics.median(float(x) for x in sys.argv[1:]))' "$@"; }
# Seconds a command takes, wall clock; its output is dropped.
seconds() {
  local start end
  start=$(now)
  "$@" >/dev/null 2>&1 || true
  end=$(now)
  python3 -c "print($end - $start)"
}
