# Shared by the command-line suites.

# outcome WHAT GOT STATUS STDOUT STDERR: compare a run's status and the files
# out and err with what was expected; WHAT names the case in a failure.
outcome() {
	if [ "$2" != "$3" ] || [ "$(cat out)" != "$4" ] || [ "$(cat err)" != "$5" ]; then
		echo "$1: status $2, expected $3"
		echo "--- stdout"; cat out
		echo "--- stderr"; cat err
		return 1
	fi
}
