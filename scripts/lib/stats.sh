# Sourced by the benchmark scripts: figures of a list of numbers read from standard input, one
# per line or separated by blanks.
numbers() { tr ' ' '\n' | grep -v '^$' | sort -g; }
median() { numbers | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
fastest() { numbers | awk 'NR == 1'; } # reads all: no early close under pipefail
largest() { numbers | awk 'END {print}'; }
# ratio A B: A / B with two decimals; 0 when B is 0.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}'; }
# CPU seconds a process (all its threads) has run so far, to the nanosecond (schedstat): clock
# ticks are too coarse for a program that runs a few microseconds at a time.
cpu_of() { cat /proc/"$1"/task/*/schedstat | awk '{ns += $1} END {printf "%.6f\n", ns / 1e9}'; }
