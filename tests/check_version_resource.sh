#!/usr/bin/env bash
# qvn.dll's version resource is written by hand; it must carry the project's
# version (the one in CMakeLists.txt, which qvn_version.h and the .so name
# take) in its four places, so that a release cannot bump one and not the other.
#   check_version_resource.sh VERSION RC_FILE      e.g. 1.0.0 src/api/version.rc
set -euo pipefail
version=$1 rc=$2
IFS=. read -r major minor patch <<<"$version"
status=0
expect() {  # pattern, what
  grep -Eq "$1" "$rc" || { echo "$rc: $2 is not $version.0"; status=1; }
}
expect "^ *FILEVERSION +$major,$minor,$patch,0 *\$" FILEVERSION
expect "^ *PRODUCTVERSION +$major,$minor,$patch,0 *\$" PRODUCTVERSION
expect "VALUE \"FileVersion\", \"$major\\.$minor\\.$patch\\.0\"" '"FileVersion"'
expect "VALUE \"ProductVersion\", \"$major\\.$minor\\.$patch\\.0\"" '"ProductVersion"'
[ $status = 0 ] && echo "$rc carries $version.0"
exit $status
