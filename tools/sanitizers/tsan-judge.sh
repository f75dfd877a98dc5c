#!/usr/bin/env bash
# Judges ThreadSanitizer logs (the files given, written with log_path): a report counts when one of
# its conflicting accesses was made by project code, that is when the access stack's first frame
# outside the sanitizer's interceptors, our hand-over bridge (tests/sanitizers/tsanqt.cpp) and
# library code inlined from /usr/include lies in a test or fuzz program (which holds all our code). Reports whose accesses are all
# made inside Qt or the C library (Qt's own worker pools and caches, guarded by mutexes the
# sanitizer cannot see) are counted as ignored. Prints every report that counts; exits 1 if any.
set -euo pipefail
[ $# -gt 0 ] || { echo "no ThreadSanitizer reports"; exit 0; }
awk '
function decisive(line,    n, f, path, module) {
  # A frame line: "    #N function path:line[:column] (module+0xoffset)"; path is "<null>" when unknown.
  n = split(line, f, " ")
  module = f[n]
  path = f[n - 1]
  if (module ~ /^\(libtsan/ || path ~ /tests\/sanitizers\/tsanqt\.cpp/)
    return "skip"
  if (module !~ /^\((test|fuzz)_/)
    return "library" # Qt, the C library, GLib
  if (path ~ /^\/usr\/include\//)
    return "skip" # library code inlined into ours: the caller decides
  return "project"
}
function finish() {
  if (report == "") return
  if (accesses == 0) projectAccess = anyProject # no access stacks: judge every frame
  if (projectAccess) { counted++; printf "%s\n", report } else ignored++
  report = ""
}
/^WARNING: ThreadSanitizer:/ { finish(); report = $0 "\n"; accesses = 0; projectAccess = 0; anyProject = 0; inAccess = 0; decided = 0; next }
report == "" { next }
{ report = report $0 "\n" }
/^SUMMARY: ThreadSanitizer/ { finish(); next }
/^  (Previous )?([Aa]tomic )?([Rr]ead|[Ww]rite) of size/ { inAccess = 1; decided = 0; accesses++; next }
/^$/ { inAccess = 0; next }
/^    #[0-9]+ / {
  kind = decisive($0)
  if (kind == "project") anyProject = 1
  if (inAccess && !decided && kind != "skip") {
    decided = 1
    if (kind == "project") projectAccess = 1
  }
}
END {
  finish()
  printf "ThreadSanitizer: %d report(s) with an access by project code, %d inside Qt or the C library ignored\n", counted, ignored
  exit counted > 0 ? 1 : 0
}' "$@"
