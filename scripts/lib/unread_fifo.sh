# Sourced by the benchmarks that need an output nobody reads: sets $dir to a scratch folder
# holding "fifo", a FIFO held open on descriptor 3 and never read, so a writer into it blocks
# once the pipe is full. On exit the background jobs are ended, the FIFO closed and the folder
# removed.
dir=$(mktemp -d)
mkfifo "$dir/fifo"
exec 3<> "$dir/fifo"
trap 'kill $(jobs -p) 2>/dev/null || true; exec 3>&-; rm -rf "$dir"' EXIT
