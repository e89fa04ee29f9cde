#!/usr/bin/env bash
# run_on_real_media.sh DIR VELMORA_EXE COMMAND...
# Makes real faulty media under DIR for the real-media tests, runs COMMAND
# with their Windows paths in the environment, and unmounts them on every exit:
#   VELMORA_READ_ONLY  a read-only tmpfs holding velmora.exe and a file.txt
#                      that stays writable (bind-mounted from another tmpfs);
#   VELMORA_NO_FILE    a read-only tmpfs holding velmora.exe and no file.txt,
#                      as a folder under Program Files;
#   VELMORA_DAMAGED    a read-only tmpfs holding velmora.exe and a damaged
#                      file.txt (the default file cut short).
# Where mount is refused (no privilege), it says so and runs COMMAND without
# them: the tests then report that they could not run.
set -uo pipefail
dir=$1
exe=$2
shift 2
mounted=()
cleanup() {
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null; done
}
trap cleanup EXIT
trap 'exit 130' INT TERM
win() { echo "Z:$(realpath "$1" | tr / '\\')"; }
mount_tmpfs() { mkdir -p "$1" && mount -t tmpfs -o "size=$2" tmpfs "$1" && mounted+=("$1"); }

# The default alarm file: 08:30, 12:30, 13:30 and 17:00, every day, chimes.wav.
default_file() {
  local chimes='c\0h\0i\0m\0e\0s\0.\0w\0a\0v\0'
  printf '22 serialization::archive 10 0 0 4 0 0 0'
  for t in '8 30' '12 30' '13 30' '17 0'; do printf " $t 1 1 1 1 1 1 1 1 10 $chimes"; done
}

for d in "$dir"/*; do mountpoint -q "$d" && umount -l "$d"; done  # left by a killed run
rm -rf "$dir" && mkdir -p "$dir"
if mount_tmpfs "$dir/file" 1m && default_file >"$dir/file/file.txt" &&
   mount_tmpfs "$dir/readonly" 8m && cp "$exe" "$dir/readonly/" && : >"$dir/readonly/file.txt" &&
   mount --bind "$dir/file/file.txt" "$dir/readonly/file.txt" && mounted+=("$dir/readonly/file.txt") &&
   mount -o remount,ro "$dir/readonly" &&
   mount_tmpfs "$dir/nofile" 8m && cp "$exe" "$dir/nofile/" && mount -o remount,ro "$dir/nofile" &&
   mount_tmpfs "$dir/damaged" 8m && cp "$exe" "$dir/damaged/" &&
   default_file | head -c 200 >"$dir/damaged/file.txt" && mount -o remount,ro "$dir/damaged"; then
  export VELMORA_READ_ONLY=$(win "$dir/readonly")
  export VELMORA_NO_FILE=$(win "$dir/nofile")
  export VELMORA_DAMAGED=$(win "$dir/damaged")
else
  echo "run_on_real_media.sh: mount was refused; the real-media tests cannot run here" \
       "(the held-file tests of app_failure_tests still make saves fail)" >&2
fi
"$@"
