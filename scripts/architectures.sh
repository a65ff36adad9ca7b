# Sourced by the scripts that run Windows programs: which architectures this machine runs.
#   norvane_architectures [FOLDER]   sets runnable_architectures ("x86 x64" or "x64") and x86_verdict
# Some machines run 64-bit programs only (the kernel has no 32-bit emulation): 32-bit Wine
# cannot start there. A 32-bit Linux program of a few bytes tells, whatever packages are
# installed. It runs from FOLDER, the build tree when left out: the temporary folder may be
# mounted noexec, and a probe that cannot be executed at all says nothing about the processor.
# NORVANE_X64_ONLY=1 takes the 64-bit-only path on any machine.
norvane_architectures_build=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build
norvane_architectures() {
    runnable_architectures=x64
    if [ "${NORVANE_X64_ONLY:-}" = 1 ]; then
        x86_verdict="x86 not run: NORVANE_X64_ONLY=1 forces the 64-bit-only path"
        return
    fi
    local folder=${1:-$norvane_architectures_build} probe said status=0
    local unknown="so whether this machine runs 32-bit programs is not known; x64 only"
    if ! mkdir -p "$folder" 2>/dev/null || ! probe=$(mktemp "$folder/i386-probe.XXXXXX" 2>/dev/null); then
        x86_verdict="x86 not run: the 32-bit probe program cannot be written in $folder, $unknown"
        return
    fi
    # An i386 ELF program whose whole work is exit(7).
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x07\x00\x00\x00\xcd\x80' >"$probe"
    chmod +x "$probe"
    # The shell's own words tell why it did not start (in English, whatever the caller's locale):
    # "Exec format error" where the processor takes no 32-bit program, "Permission denied" where
    # the folder allows no program to run.
    said=$(export LC_ALL=C; "$probe" 2>&1 >/dev/null) || status=$?
    rm -f "$probe"
    said=${said##*: }
    if [ "$status" = 7 ]; then
        runnable_architectures="x86 x64"
        x86_verdict="x86 runs here: a 32-bit probe program ran and exited 7"
    elif [ "$said" = "Exec format error" ]; then
        x86_verdict="x86 not run: this machine runs 64-bit programs only (a 32-bit probe program could not start: $said)"
    elif [ "$said" = "Permission denied" ]; then
        x86_verdict="x86 not run: the 32-bit probe program cannot be executed in $folder ($said: mounted noexec?), $unknown"
    else
        x86_verdict="x86 not run: the 32-bit probe program in $folder ended with exit $status${said:+ ($said)}, $unknown"
    fi
}

# The build folder of an architecture's Windows configuration.
windows_build() { if [ "$1" = x64 ]; then echo windows-x64; else echo windows; fi; }
# The processor in the names of its toolchain files.
mingw_processor() { if [ "$1" = x64 ]; then echo x86_64; else echo i686; fi; }
