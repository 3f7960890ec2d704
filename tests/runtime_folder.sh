#!/usr/bin/env bash
# The end-to-end suite's runtime folder for its engine server: a short
# folder under /tmp, whatever the build folder's path, whose name is kept in
# a file of the build folder.
#   runtime_folder.sh make <name file>    makes the folder, writes its name
#   runtime_folder.sh remove <name file>  stops its servers, removes both
set -euo pipefail
action="${1:?usage: runtime_folder.sh make|remove <name file>}"
name_file="${2:?usage: runtime_folder.sh make|remove <name file>}"
here="$(cd "$(dirname "$0")" && pwd)"
if [ -f "$name_file" ]; then
  old="$(cat "$name_file")"
  case "$old" in
    /tmp/xslv-e2e.*) bash "$here/stop_servers.sh" "$old"; rm -rf -- "$old" ;;
  esac
  rm -f -- "$name_file"
fi
if [ "$action" = make ]; then
  mktemp -d /tmp/xslv-e2e.XXXXXX > "$name_file"
fi
