#!/usr/bin/env bash
# Judges ThreadSanitizer logs (the files given, written with log_path): a report counts when one of
# its conflicting accesses was made by project code, that is when the access stack's first frame
# outside the sanitizer's interceptors, our hand-over bridge (tests/sanitizers/tsanqt.cpp) and
# library code inlined from /usr/include lies in a test or fuzz program (which holds all our code). Reports whose accesses are all
# made inside Qt or the C library (Qt's own worker pools and caches, guarded by mutexes the
# sanitizer cannot see) are counted as ignored, and so are reports on the copy of a queued
# argument (a heap block QMetaType::create allocated). Prints every report that counts; exits 1 if
# any, or if the sanitizer ended a program (its later tests did not run).
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
  if (argumentCopy) handedOver++
  else if (projectAccess) { counted++; printf "%s\n", report } else ignored++
  report = ""
}
/^WARNING: ThreadSanitizer:/ { finish(); report = $0 "\n"; accesses = 0; projectAccess = 0; anyProject = 0; inAccess = 0; decided = 0; inLocation = 0; argumentCopy = 0; next }
# The sanitizer ending a program (it exits with the status given for reports, 0 here): the tests
# after that point did not run.
/ThreadSanitizer: .*Dying|^FATAL: ThreadSanitizer|ThreadSanitizer: CHECK failed/ {
  finish(); stopped++; printf "%s (%s)\n", $0, FILENAME; next
}
report == "" { next }
{ report = report $0 "\n" }
/^SUMMARY: ThreadSanitizer/ { finish(); next }
/^  (Previous )?([Aa]tomic )?([Rr]ead|[Ww]rite) of size/ { inAccess = 1; decided = 0; accesses++; next }
# A heap block allocated by QMetaType::create in Qt is the copy of an argument of a queued signal
# (or of Q_ARG), owned by its event: written by the poster before posting and read by the receiver,
# a hand-over the bridge cannot always show (see tests/sanitizers/tsanqt.cpp), never a shared value.
/^  Location is heap block/ { inLocation = 1; next }
inLocation && /QMetaType::create/ { argumentCopy = 1 }
/^$/ { inAccess = 0; inLocation = 0; next }
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
  printf "ThreadSanitizer: %d report(s) with an access by project code, %d inside Qt or the C library ignored, %d on the copy of a queued argument ignored\n", counted, ignored, handedOver
  if (stopped > 0) printf "ThreadSanitizer stopped %d program(s): their later tests did not run\n", stopped
  exit counted > 0 || stopped > 0 ? 1 : 0
}' "$@"
